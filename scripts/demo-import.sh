#!/usr/bin/env bash
# Runs one import (or salvage) from a generated demo camera and prints what
# landed on the PC and what stayed on the camera. Builds build/normal when
# its programs are missing (KAVO_DEMO_BUILD names another build folder),
# makes the demo with "k2demo setup-import" in a fresh temporary folder,
# runs TLVK2Accessor on the camera with everything the program reads from
# the environment pointing into that folder, then prints the pictures
# folder and the camera with k2demo tree.
#
# usage: demo-import.sh [--scripted] [--keep] [--salvage | --round-trip]
#   --scripted    answer from accessor/demo/import.script (salvage.script)
#                 and print the transcript (else --yes: the automatic back
#                 end accepts and echoes its boxes to standard error)
#   --keep        keep the temporary folder and print its name
#   --salvage     salvage the camera's numbered DCIM folders instead
#   --round-trip  the export demo's camera ("k2demo setup"): export with
#                 --yes, then import with --yes, which brings every exported
#                 file back to the PC and empties the camera's album
#                 database, then import again, which finds nothing new;
#                 prints each run's messages and the trees in between
# The transcript leaves out the progress window's live lines, which depend
# on timing. KAVO_DEMO_OUT=DIR also writes the transcript to
# DIR/import.out (salvage.out, round-trip.out) and the trees to
# DIR/import-tree.out (salvage-tree.out, round-trip-tree.out); the
# temporary folder's name is written as "DIR" and the salvage's dated
# folder as "DATE".
#
# Exits with the program's status: 0 done, 1 failed, 2 cancelled; for
# --round-trip the first run's status that is not 0.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=demo-common.sh
source "$root/scripts/demo-common.sh"
scripted=0
keep=0
flow=import
for argument in "$@"; do
  case "$argument" in
    --scripted) scripted=1 ;;
    --keep) keep=1 ;;
    --salvage) flow=salvage ;;
    --round-trip) flow=round-trip ;;
    *)
      echo "usage: $0 [--scripted] [--keep] [--salvage | --round-trip]" >&2
      exit 2
      ;;
  esac
done

if [[ $flow == round-trip && $scripted -eq 1 ]]; then
  echo "$0: --round-trip runs with --yes only" >&2
  exit 2
fi

demo_find_programs "$root"

demo_make_folder demo-import "$keep"
# The home folder is $T/user, so the pictures folder is $T/user/Pictures.
demo_point_environment_into_folder "$T/user"
pictures=$T/user/Pictures

# The round trip: the export demo's camera, exported to, then imported from
# twice. Of each run's standard output and error the transcript keeps the
# boxes, the program's own lines and the copies it lists (no diagnostics of
# an instrumented build).
program_lines() { grep -E '^(\[|TLVK2Accessor: |/)' || true; }
round_trip() {
  "$k2demo" setup "$T" >/dev/null
  local run=0 export_status=0 first_status=0 second_status=0
  "$accessor" -export "$T/h.xml" --yes </dev/null >"$T/run-export" 2>&1 || export_status=$?
  "$k2demo" tree "$T/cam" >"$T/cam-exported"
  "$accessor" --yes -import "$T/cam" </dev/null >"$T/run-first" 2>&1 || first_status=$?
  "$accessor" --yes -import "$T/cam" </dev/null >"$T/run-second" 2>&1 || second_status=$?
  {
    echo "--- the export (status $export_status)"
    program_lines <"$T/run-export"
    echo "--- the first import (status $first_status)"
    program_lines <"$T/run-first"
    echo "--- the second import (status $second_status)"
    program_lines <"$T/run-second"
  } | sed "s|$T|DIR|g" >"$T/steady"
  cat "$T/steady"
  {
    echo "--- the camera after the export"
    cat "$T/cam-exported"
    echo "--- the pictures folder after the imports"
    "$k2demo" tree "$pictures"
    echo "--- the camera after the imports"
    "$k2demo" tree "$T/cam"
  } >"$T/tree"
  cat "$T/tree"
  for status in "$export_status" "$first_status" "$second_status"; do
    if [[ $status -ne 0 ]]; then
      run=$status
      break
    fi
  done
  return "$run"
}

if [[ $flow == round-trip ]]; then
  status=0
  round_trip || status=$?
  if [[ -n ${KAVO_DEMO_OUT:-} ]]; then
    mkdir -p "$KAVO_DEMO_OUT"
    cp "$T/steady" "$KAVO_DEMO_OUT/$flow.out"
    sed "s|$T|DIR|g" "$T/tree" >"$KAVO_DEMO_OUT/$flow-tree.out"
  fi
  exit "$status"
fi

"$k2demo" setup-import "$T" >/dev/null
# The salvage's dated folder is named after the day it runs.
hide_names() {
  local dated=""
  if [[ $flow == salvage ]]; then
    dated=$(find "$pictures" -mindepth 1 -maxdepth 1 -type d -printf '%f\n' | head -n 1)
  fi
  if [[ -n $dated ]]; then
    sed -e "s|$T|DIR|g" -e "s|$dated|DATE|g"
  else
    sed "s|$T|DIR|g"
  fi
}
# The progress window's live lines (current item, percentages, time left,
# and the waiting marquee, which a run that begins before the window shows
# never turns on) depend on timing; the transcript shown keeps the rest.
steady_lines() { grep -Ev '^form 132 (item (1006|1008|1009|1010|1020) |progress 1007 ([0-9]|marquee))' || true; }

status=0
if [[ $scripted -eq 1 ]]; then
  export KAVO_UI_SCRIPT=$root/accessor/demo/$flow.script
  "$accessor" "-$flow" "$T/cam" </dev/null >"$T/transcript" || status=$?
  steady_lines <"$T/transcript" | hide_names >"$T/steady"
  cat "$T/steady"
else
  "$accessor" --yes "-$flow" "$T/cam" </dev/null || status=$?
fi

{
  echo "--- the pictures folder after the $flow (status $status)"
  "$k2demo" tree "$pictures"
  echo "--- the camera after the $flow"
  "$k2demo" tree "$T/cam"
} >"$T/tree"
cat "$T/tree"

if [[ -n ${KAVO_DEMO_OUT:-} ]]; then
  mkdir -p "$KAVO_DEMO_OUT"
  if [[ -f $T/steady ]]; then cp "$T/steady" "$KAVO_DEMO_OUT/$flow.out"; fi
  hide_names <"$T/tree" >"$KAVO_DEMO_OUT/$flow-tree.out"
fi
exit "$status"
