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
# shellcheck source=demo-common.sh
source "$root/scripts/demo-common.sh"
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

demo_find_programs "$root"

demo_make_folder demo-export "$keep"
demo_point_environment_into_folder "$T/home"

"$k2demo" setup "$T" >/dev/null

hide_folder() { sed "s|$T|DIR|g"; }
# The progress window's live lines (current item, percentages, marquee, time left)
# depend on timing; the transcript shown keeps the rest.
steady_lines() { grep -Ev '^form 132 (item (1006|1008|1009|1010|1020) |progress 1007 ([0-9]|marquee))' || true; }

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
