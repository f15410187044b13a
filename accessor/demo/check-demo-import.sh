#!/usr/bin/env bash
# Runs the scripted demo import, the scripted demo salvage and the round
# trip (export, import, import again) against the programs of BUILD and
# compares each transcript and the trees of the pictures folder and the
# camera with the golden files beside this script. Exits 0 when all match.
#
# usage: check-demo-import.sh BUILD
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
if [[ $# -ne 1 ]]; then
  echo "usage: $0 BUILD" >&2
  exit 2
fi
out=$(mktemp -d "${TMPDIR:-/tmp}/check-demo-import-XXXXXX")
trap 'rm -rf "$out"' EXIT

for flow in import salvage round-trip; do
  status=0
  case $flow in
    import) options=(--scripted) ;;
    salvage) options=(--scripted --salvage) ;;
    round-trip) options=(--round-trip) ;;
  esac
  KAVO_DEMO_BUILD=$1 KAVO_DEMO_OUT=$out "$root/scripts/demo-import.sh" "${options[@]}" >/dev/null || status=$?
  if [[ $status -ne 0 ]]; then
    echo "the demo $flow ended with $status" >&2
    exit 1
  fi
  diff -u "$here/$flow.golden" "$out/$flow.out"
  diff -u "$here/$flow-tree.golden" "$out/$flow-tree.out"
done
