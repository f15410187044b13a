#!/usr/bin/env bash
# Configures and builds build/<kind>: normal, asan or tsan.
set -euo pipefail

kind=${1:-normal}
root=$(cd "$(dirname "$0")/.." && pwd)

case "$kind" in
  normal) options=(-DCMAKE_BUILD_TYPE=RelWithDebInfo) ;;
  asan) options=(-DCMAKE_BUILD_TYPE=Debug -DKAVO_ASAN=ON) ;;
  tsan) options=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DKAVO_TSAN=ON) ;;
  *)
    echo "usage: $0 <normal|asan|tsan>" >&2
    exit 2
    ;;
esac

cmake -S "$root" -B "$root/build/$kind" -G Ninja -DKAVO_WERROR=ON "${options[@]}"
cmake --build "$root/build/$kind" -j"$(nproc)"
