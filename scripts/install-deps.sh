#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need.
set -euo pipefail

PACKAGES=(
  # toolchain
  cmake ninja-build g++ pkg-config
  # tests
  libgtest-dev libgmock-dev
  # libraries
  libjpeg62-turbo-dev libtiff-dev libgif-dev zlib1g-dev libminizip-dev
  libxml2-dev libssl-dev libgsf-1-dev
  # time zones for the date tests
  tzdata
  # tools used by tests
  osslsigncode msitools
)

missing=()
for package in "${PACKAGES[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
  if [[ "$status" != "install ok installed" ]]; then
    missing+=("$package")
  fi
done

if [[ ${#missing[@]} -eq 0 ]]; then
  echo "install-deps: every package is installed"
  exit 0
fi

SUDO=()
if [[ $(id -u) -ne 0 ]]; then
  SUDO=(sudo)
fi

echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${SUDO[@]}" apt-get update -y
"${SUDO[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
