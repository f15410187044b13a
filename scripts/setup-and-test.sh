#!/usr/bin/env bash
# From a fresh Debian 12 machine: install what the build needs, then build
# and test the normal and the sanitizer build; the normal build's sources are
# also checked with clang for dropped results.
set -euo pipefail

scripts=$(cd "$(dirname "$0")" && pwd)

"$scripts/install-deps.sh"
for kind in normal asan; do
  "$scripts/build.sh" "$kind"
  if [[ "$kind" == normal ]]; then
    "$scripts/check-results.sh" normal
  fi
  "$scripts/test.sh" "$kind"
done
