#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need.
set -euo pipefail

PACKAGES=(
  # toolchain
  cmake ninja-build g++ pkg-config
  # the check for dropped results (scripts/check-results.sh)
  clang
  # tests
  libgtest-dev libgmock-dev
  # benchmark programs
  libbenchmark-dev
  # libraries
  libjpeg62-turbo-dev libtiff-dev libgif-dev zlib1g-dev libminizip-dev
  libxml2-dev libssl-dev libgsf-1-dev
  # the FFmpeg movie plug-in
  libavformat-dev libavcodec-dev libswscale-dev libavutil-dev
  # time zones for the date tests
  tzdata
  # a comma-decimal locale for the number-format tests
  locales
  # tools used by tests
  osslsigncode msitools wixl ffmpeg
  # ext2 images for the root-only loop-mount tests
  e2fsprogs
  # the tools scripts/bench.sh compares the export with
  libvips-tools libjpeg-turbo-progs sqlite3 time
)

missing=()
for package in "${PACKAGES[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
  if [[ "$status" != "install ok installed" ]]; then
    missing+=("$package")
  fi
done

SUDO=()
if [[ $(id -u) -ne 0 ]]; then
  SUDO=(sudo)
fi

if [[ ${#missing[@]} -eq 0 ]]; then
  echo "install-deps: every package is installed"
else
  echo "install-deps: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  "${SUDO[@]}" apt-get update -y
  "${SUDO[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
fi

# Locales the tests switch to.
LOCALES=(de_DE.UTF-8)
for name in "${LOCALES[@]}"; do
  if ! locale -a 2>/dev/null | grep -qix "${name/UTF-8/utf8}"; then
    echo "install-deps: generating locale $name"
    "${SUDO[@]}" localedef -i "${name%%.*}" -f UTF-8 "$name"
  fi
done
