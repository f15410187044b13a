#!/usr/bin/env bash
# Runs k2bench: the export and its pieces against vipsthumbnail, djpeg |
# cjpeg, cp + sync and sqlite3 on the same inputs, every side a whole
# process, in rounds that interleave the sides; the inputs are made in a
# fresh temporary folder that is removed again. Prints the figures, then
# each goal met or missed, with the machine's load average. Installs
# nothing: scripts/install-deps.sh brings the tools. Builds build/normal
# when needed (KAVO_BENCH_BUILD names another configured build folder).
# --quick takes fewer and smaller pictures and fewer rounds (about a
# minute).
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

for tool in vipsthumbnail vips djpeg cjpeg sqlite3 /usr/bin/time; do
  if ! command -v "$tool" >/dev/null; then
    echo "bench: $tool is missing; run scripts/install-deps.sh" >&2
    exit 1
  fi
done

if [[ -f "$build/build.ninja" ]]; then
  cmake --build "$build" --target k2bench k2benchjob
else
  "$root/scripts/build.sh" normal
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/k2bench.XXXXXX")
trap 'rm -rf "$work"' EXIT

/usr/bin/time -f "k2bench: whole run %e s, peak RSS %M kB" \
  "$build/bench/k2bench" --work "$work" "${arguments[@]}"
