#!/usr/bin/env bash
# Runs one export on a generated demo camera and prints what landed on it.
# Builds build/normal when its programs are missing (KAVO_DEMO_BUILD names
# another build folder), makes the demo with k2demo in a fresh temporary
# folder, runs TLVK2Accessor on its hand-over file with everything the
# program reads from the environment pointing into that folder, then prints
# the camera's files and album database with k2demo tree.
#
# usage: demo-export.sh [--scripted] [--keep]
#   --scripted  answer from accessor/demo/demo.script and print the
#               transcript (else --yes: the automatic back end accepts and
#               echoes its boxes to standard error)
#   --keep      keep the temporary folder and print its name
# The transcript leaves out the progress window's live lines, which depend
# on timing. KAVO_DEMO_OUT=DIR also writes the transcript to DIR/demo.out
# and the tree to DIR/demo-tree.out; the temporary folder's name is written
# as "DIR" in both.
#
# Exits with the program's status: 0 done, 1 failed, 2 cancelled.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
scripted=0
keep=0
for argument in "$@"; do
  case "$argument" in
    --scripted) scripted=1 ;;
    --keep) keep=1 ;;
    *)
      echo "usage: $0 [--scripted] [--keep]" >&2
      exit 2
      ;;
  esac
done

build=${KAVO_DEMO_BUILD:-$root/build/normal}
accessor=$build/accessor/TLVK2Accessor
k2demo=$build/accessor/tools/k2demo
if [[ ! -x $accessor || ! -x $k2demo ]]; then
  if [[ -n ${KAVO_DEMO_BUILD:-} ]]; then
    echo "missing $accessor or $k2demo" >&2
    exit 1
  fi
  "$root/scripts/build.sh" normal >&2
fi

T=$(mktemp -d "${TMPDIR:-/tmp}/demo-export-XXXXXX")
if [[ $keep -eq 1 ]]; then
  trap 'echo "kept $T" >&2' EXIT
else
  trap 'rm -rf "$T"' EXIT
fi

# Everything the programs read from the environment points into $T.
while read -r name; do unset "$name"; done < <(compgen -e | grep -E '^(KAVO_|XDG_)' | grep -v '^KAVO_DEMO_' || true)
export HOME=$T/home
export XDG_CONFIG_HOME=$HOME/.config XDG_DATA_HOME=$HOME/.local/share XDG_CACHE_HOME=$HOME/.cache
export XDG_RUNTIME_DIR=$T/run
export KAVO_REGISTRY_DIR=$T/registry KAVO_IPC_DIR=$T/ipc KAVO_SYSROOT=$T/sysroot KAVO_MACHINE_ROOT=$T/machine
export TMPDIR=$T/tmp TZ=UTC
mkdir -p "$HOME" "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_CACHE_HOME" "$XDG_RUNTIME_DIR" \
  "$KAVO_IPC_DIR" "$KAVO_MACHINE_ROOT" "$TMPDIR"
chmod 700 "$XDG_RUNTIME_DIR"

"$k2demo" setup "$T" >/dev/null

hide_folder() { sed "s|$T|DIR|g"; }
# The progress window's live lines (current item, percentages, time left)
# depend on timing; the transcript shown keeps the rest.
steady_lines() { grep -Ev '^form 132 (item (1006|1008|1009|1010|1020) |progress 1007 [0-9])' || true; }

status=0
if [[ $scripted -eq 1 ]]; then
  export KAVO_UI_SCRIPT=$root/accessor/demo/demo.script
  "$accessor" -export "$T/h.xml" </dev/null >"$T/transcript" || status=$?
  steady_lines <"$T/transcript" | hide_folder >"$T/steady"
  cat "$T/steady"
else
  "$accessor" -export "$T/h.xml" --yes </dev/null || status=$?
fi

"$k2demo" tree "$T/cam" >"$T/tree"
echo "--- the camera after the export (status $status)"
cat "$T/tree"

if [[ -n ${KAVO_DEMO_OUT:-} ]]; then
  mkdir -p "$KAVO_DEMO_OUT"
  if [[ -f $T/steady ]]; then cp "$T/steady" "$KAVO_DEMO_OUT/demo.out"; fi
  hide_folder <"$T/tree" >"$KAVO_DEMO_OUT/demo-tree.out"
fi
exit "$status"
