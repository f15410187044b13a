#!/usr/bin/env bash
# Runs k2bench: the export and its pieces against vipsthumbnail, cp + sync
# and sqlite3 on the same inputs, made in a fresh temporary folder that is
# removed again, and prints one table. Installs nothing:
# scripts/install-deps.sh brings the tools. Builds build/normal when needed
# (KAVO_BENCH_BUILD names another configured build folder).
#
# usage: scripts/bench.sh [--quick]
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${KAVO_BENCH_BUILD:-$root/build/normal}

arguments=()
case "${1:-}" in
  "") ;;
  --quick) arguments+=(--quick) ;;
  *)
    echo "usage: $0 [--quick]" >&2
    exit 2
    ;;
esac

for tool in vipsthumbnail sqlite3 /usr/bin/time; do
  if ! command -v "$tool" >/dev/null; then
    echo "bench: $tool is missing; run scripts/install-deps.sh" >&2
    exit 1
  fi
done

if [[ -f "$build/build.ninja" ]]; then
  cmake --build "$build" --target k2bench
else
  "$root/scripts/build.sh" normal
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/k2bench.XXXXXX")
trap 'rm -rf "$work"' EXIT

/usr/bin/time -f "k2bench: whole run %e s, peak RSS %M kB" \
  "$build/bench/k2bench" --work "$work" "${arguments[@]}"
