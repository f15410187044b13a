# Shared by demo-export.sh and demo-import.sh; sourced, not run.

# Sets accessor and k2demo to the programs of KAVO_DEMO_BUILD, else of
# build/normal, building that when its programs are missing.
demo_find_programs() {
  local root=$1
  local build=${KAVO_DEMO_BUILD:-$root/build/normal}
  accessor=$build/accessor/TLVK2Accessor
  k2demo=$build/accessor/tools/k2demo
  if [[ -x $accessor && -x $k2demo ]]; then
    return
  fi
  if [[ -n ${KAVO_DEMO_BUILD:-} ]]; then
    echo "missing $accessor or $k2demo" >&2
    exit 1
  fi
  "$root/scripts/build.sh" normal >&2
}

# Sets T to a fresh temporary folder named after prefix, removed on exit
# unless keep is 1 (then its name is printed).
demo_make_folder() {
  local prefix=$1 keep=$2
  T=$(mktemp -d "${TMPDIR:-/tmp}/$prefix-XXXXXX")
  if [[ $keep -eq 1 ]]; then
    trap 'echo "kept $T" >&2' EXIT
  else
    trap 'rm -rf "$T"' EXIT
  fi
}

# Points everything the programs read from the environment into $T, with
# home the home folder, which holds a pictures folder for the import.
demo_point_environment_into_folder() {
  local home=$1
  while read -r name; do unset "$name"; done < <(compgen -e | grep -E '^(KAVO_|XDG_)' | grep -v '^KAVO_DEMO_' || true)
  export HOME=$home
  export XDG_CONFIG_HOME=$HOME/.config XDG_DATA_HOME=$HOME/.local/share XDG_CACHE_HOME=$HOME/.cache
  export XDG_RUNTIME_DIR=$T/run
  export KAVO_REGISTRY_DIR=$T/registry KAVO_IPC_DIR=$T/ipc KAVO_SYSROOT=$T/sysroot KAVO_MACHINE_ROOT=$T/machine
  export TMPDIR=$T/tmp TZ=UTC
  mkdir -p "$HOME" "$HOME/Pictures" "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_CACHE_HOME" "$XDG_RUNTIME_DIR" \
    "$KAVO_IPC_DIR" "$KAVO_MACHINE_ROOT" "$TMPDIR"
  chmod 700 "$XDG_RUNTIME_DIR"
}
