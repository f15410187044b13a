#!/usr/bin/env bash
# Demonstrates the removal of the former suite: builds a former installation
# in a new temporary folder, runs TLV_DeleteTLVModule through msirun twice and
# shows what went. Exits 0 only when the user's own file survived and the
# second run changed nothing.
#
# usage: demo-former-suite.sh [MSIRUN LIBTLVPROC]
#   (default: build/normal/outside/msi/msirun and
#    build/normal/installer-actions/libTLVProc.so)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
msirun=${1:-$root/build/normal/outside/msi/msirun}
library=${2:-$root/build/normal/installer-actions/libTLVProc.so}
for file in "$msirun" "$library"; do
  if [[ ! -e $file ]]; then
    echo "missing $file (build first: scripts/build.sh normal)" >&2
    exit 2
  fi
done

T=$(mktemp -d "${TMPDIR:-/tmp}/former-suite-XXXXXX")
trap 'rm -rf "$T"' EXIT

# Everything the programs read from the environment points into $T.
while read -r name; do unset "$name"; done < <(compgen -e | grep -E '^(KAVO_|XDG_)' || true)
export HOME=$T/home
export XDG_CONFIG_HOME=$HOME/.config XDG_DATA_HOME=$HOME/.local/share XDG_CACHE_HOME=$HOME/.cache
export XDG_RUNTIME_DIR=$T/run
export KAVO_REGISTRY_DIR=$T/registry KAVO_IPC_DIR=$T/ipc KAVO_SYSROOT=$T/sysroot KAVO_MACHINE_ROOT=$T/machine
export TMPDIR=$T/tmp
M=$KAVO_MACHINE_ROOT
mkdir -p "$HOME" "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_CACHE_HOME" "$XDG_RUNTIME_DIR" \
  "$KAVO_REGISTRY_DIR" "$KAVO_IPC_DIR" "$KAVO_SYSROOT" "$M" "$TMPDIR"
chmod 700 "$XDG_RUNTIME_DIR"

former="$T/old/Kavo Telvane"
listed="{11111111-2222-3333-4444-555555555555}"
unlisted="{AAAAAAAA-BBBB-CCCC-DDDD-EEEEEEEEEEEE}"

file() {  # file PATH TEXT
  mkdir -p "$(dirname "$1")"
  printf '%s\n' "$2" > "$1"
}

entry() {  # entry PATH LINES...
  local path=$1
  shift
  mkdir -p "$(dirname "$path")"
  printf '[Desktop Entry]\n' > "$path"
  printf '%s\n' "$@" >> "$path"
}

build_fixture() {
  file "$former/Browser/Browser.exe" "browser"
  file "$former/Browser/keys.dat" "browser keys"
  file "$former/QMVCore/keys.dat" "core keys"
  file "$former/QMVCore/Connectedkeys.dat" "connected keys"
  file "$former/Help/index.html" "<html></html>"
  file "$former/Watcher/TLVVolumeWatcher.exe" "#!/bin/sh"
  file "$former/notes.txt" "the user's own notes"
  file "$T/other/Prod/prod.dat" "an older product"

  local desktop=$HOME/Desktop start=$M/usr/share/applications
  local exec="Exec=\"$former/Browser/Browser.exe\" %f"
  entry "$desktop/Browser.desktop" "Type=Application" "$exec"
  entry "$desktop/Other.desktop" "Type=Application" "Exec=$T/D/Other/Browser/Browser.exe"
  entry "$desktop/Mine.desktop" "Type=Application" "Exec=/usr/bin/true"
  entry "$desktop/Support.desktop" "Type=Link" "URL=https://support.kavo.example/reg"
  entry "$desktop/SupportDoc.desktop" "Type=Application" "Exec=opener \"$former/Support.url\""
  entry "$start/Kavo Telvane/Browser.desktop" "Type=Application" "$exec"
  entry "$start/Kavo Telvane/Help.desktop" "Type=Link" "URL=$former/Help/index.html"
  mkdir -p "$start/Kavo Telvane/Sub"
  entry "$start/Kavo Orvane Tools/tool.desktop" "Type=Application" "Exec=/usr/bin/true"
  entry "$start/Games/game.desktop" "Type=Application" "Exec=/usr/bin/true"
  file "$M/opt/InstallShield Installation Information/$listed/setup.ini" "listed"
  file "$M/opt/InstallShield Installation Information/$unlisted/setup.ini" "unlisted"

  local uninstall='HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall'
  local suite='HKEY_LOCAL_MACHINE\SOFTWARE\Kavo Corporation\Kavo Telvane'
  cat > "$KAVO_REGISTRY_DIR/HKEY_LOCAL_MACHINE.reg" <<REG
Windows Registry Editor Version 5.00

[$uninstall\\{3C9E1A70-5B2D-4F86-A1C4-7D0E9B26F158}]
"InstallLocation"="$former/"
"History"=hex:01,02,03,04,05,06,07
"iProduct_History"=hex(7):32,00,36,00,30,00,31,00,00,00,32,00,36,00,30,00,32,00,00,00,00,00

[$uninstall\\{3C9E1A70-5B2D-4F86-A1C4-7D0E9B26F158}\\Extra]

[$uninstall\\{6b27e0d4-91c3-4a5e-b8f2-0c4d7a9e13b6}]
"InstallLocation"="$T/other/Prod/"

[$uninstall\\$listed]

[$uninstall\\$unlisted]

[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs]
"$former/Browser/core.so"=dword:00000001
"$T/elsewhere/x.so"=dword:00000001

[$suite]
"Version"="2.6"

[$suite\\Browser]
"Window"="max"

[$suite\\Browser\\ExtProgramXML]
"Keep1"="kept.xml"
"Drop1"="dropped.xml"

[$suite\\Accessor]

[$suite\\CompA]

[HKEY_LOCAL_MACHINE\\SOFTWARE\\Kavo Corporation\\QMV]
"InstalledLocation"="$T/apps/QMV/"

[HKEY_LOCAL_MACHINE\\SOFTWARE\\Kavo Corporation\\Kavo Orvane]

[HKEY_LOCAL_MACHINE\\SOFTWARE\\Kavo Corporation\\Kavo Music Transfer]
REG

  mkdir -p "$T/pkg"
  printf '%s\n' "; the former suite's tables" \
    "[DesktopTargets]" "Browser/Browser.exe" \
    "[StartMenuTargets]" "Browser/Browser.exe" \
    "[SupportPrefixes]" "https://support.kavo.example/" \
    "[StartMenuHelpPages]" "Help/index.html" \
    "[InstallationEntries]" "Browser" "QMVCore" "Help" "Watcher" \
    "[SuiteSubkeys]" "CompA" \
    "[KeptExtPrograms]" "Keep1" \
    "[SharedLibraries]" "Browser/core.so" \
    "[CompanionName]" "Kavo Orvane" \
    "[CompanionKeys]" "Kavo Orvane" \
    "[MusicTransferKeys]" "Kavo Music Transfer" \
    "[InstallerInfoFolders]" "$listed" \
    "[UninstallCodes]" "$listed" > "$T/pkg/TLVProcTables.txt"
}

show_tree() {
  (cd "$T" && find old other home/Desktop machine -mindepth 1 | sort | sed 's/^/  /')
}

show_registry() {
  sed 's/^/  /' "$KAVO_REGISTRY_DIR/HKEY_LOCAL_MACHINE.reg"
}

# Paths, types, sizes and content digests of the whole folder, and the
# registry files themselves.
snapshot() {
  (cd "$T" && find . -path ./snapshots -prune -o -printf '%p %y %s\n' | sort)
  (cd "$T" && find . -path ./snapshots -prune -o -type f -print0 | sort -z | xargs -0 sha256sum)
  cat "$KAVO_REGISTRY_DIR"/*.reg
}

run_removal() {
  "$msirun" "$library" TLV_DeleteTLVModule "SourceDir=$T/pkg/" "APPLICATIONROOTDIRECTORY=$T/apps/QMV/"
}

build_fixture
echo "== the former installation in $T"
show_tree
echo "== the registry"
show_registry

echo "== first run"
run_removal
echo "== after the first run"
show_tree
show_registry

mkdir -p "$T/snapshots"
snapshot > "$T/snapshots/before"
echo "== second run"
run_removal
snapshot > "$T/snapshots/after"

status=0
if [[ -f "$former/notes.txt" ]]; then
  echo "the user's notes.txt survived"
else
  echo "notes.txt is gone" >&2
  status=1
fi
if cmp -s "$T/snapshots/before" "$T/snapshots/after"; then
  echo "second run: no change"
else
  echo "second run: changed something" >&2
  diff "$T/snapshots/before" "$T/snapshots/after" >&2 || true
  status=1
fi
exit $status
