#!/usr/bin/env bash
# Runs the scripted demo export against the programs of BUILD and compares
# its transcript and the camera's tree with the golden files beside this
# script. Exits 0 when both match.
#
# usage: check-demo.sh BUILD
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
if [[ $# -ne 1 ]]; then
  echo "usage: $0 BUILD" >&2
  exit 2
fi
out=$(mktemp -d "${TMPDIR:-/tmp}/check-demo-XXXXXX")
trap 'rm -rf "$out"' EXIT

status=0
KAVO_DEMO_BUILD=$1 KAVO_DEMO_OUT=$out "$root/scripts/demo-export.sh" --scripted >/dev/null || status=$?
if [[ $status -ne 0 ]]; then
  echo "the demo export ended with $status" >&2
  exit 1
fi
diff -u "$here/demo.golden" "$out/demo.out"
diff -u "$here/demo-tree.golden" "$out/demo-tree.out"
