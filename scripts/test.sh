#!/usr/bin/env bash
# Runs the tests of build/<kind>; further arguments go to ctest.
set -euo pipefail

kind=${1:-normal}
shift || true
root=$(cd "$(dirname "$0")/.." && pwd)

ctest --test-dir "$root/build/$kind" --output-on-failure -j"$(nproc)" "$@"
