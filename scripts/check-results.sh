#!/usr/bin/env bash
# Fails if any source of build/<kind> drops a [[nodiscard]] result. g++ stays
# silent on a virtual call it cannot resolve, so every file is checked again
# with clang, which warns on those too. Needs build/<kind>/compile_commands.json.
# A second argument, a regular expression, checks only the sources it matches.
set -euo pipefail

kind=${1:-normal}
only=${2:-}
root=$(cd "$(dirname "$0")/.." && pwd)
commands="$root/build/$kind/compile_commands.json"
clang=${KAVO_CLANG:-$(command -v clang++ || command -v clang++-14 || true)}

if [[ -z "$clang" ]]; then
  echo "$0: clang++ not found (scripts/install-deps.sh installs it)" >&2
  exit 1
fi
if [[ ! -f "$commands" ]]; then
  echo "$0: $commands not found; run scripts/build.sh $kind first" >&2
  exit 1
fi

# One line per file: <directory> TAB <command>, JSON escapes undone. CMake
# writes each entry as "directory", "command", "file" lines in this order.
entries=$(mktemp)
report=$(mktemp -d)
trap 'rm -rf "$entries" "$report"' EXIT
sed -n -e 's/^  "directory": "\(.*\)",$/\1/p' -e 's/^  "command": "\(.*\)",$/\1/p' "$commands" |
  sed -e 's/\\"/"/g' -e 's/\\\\/\\/g' | paste - - >"$entries"

check_one() {
  local directory=$1 command=$2 out=$3
  # The compiler becomes clang, the object output and g++'s own options go,
  # and only the unused-result warning is kept, as an error.
  command=$(sed -E -e 's/^[^ ]+ /'"${clang//\//\\/}"' /' -e 's/ -o [^ ]+/ /' \
    -e 's/ -W[^ ]*//g' -e 's/ -fno-gnu-unique//g' -e 's/ -c / -fsyntax-only /' <<<"$command")
  if ! (cd "$directory" && eval "$command -Wno-everything -Werror=unused-result") >"$out" 2>&1; then
    echo "error: clang could not check ${command##* }" >>"$out"
  fi
}
export -f check_one
export clang

if [[ -n "$only" ]]; then
  grep -E -- " -c [^ ]*($only)" "$entries" >"$entries.only" || true
  mv "$entries.only" "$entries"
fi
n=$(wc -l <"$entries")
if [[ $n -eq 0 ]]; then
  echo "$0: no source to check in $commands" >&2
  exit 1
fi

i=0
while IFS=$'\t' read -r directory command; do
  i=$((i + 1))
  printf '%s\0%s\0%s\0' "$directory" "$command" "$report/$i.log"
done <"$entries" | xargs -0 -n3 -P"$(nproc)" bash -c 'check_one "$0" "$1" "$2"'

cat "$report"/*.log >"$report/all" 2>/dev/null || true
if grep -q 'error:' "$report/all"; then
  grep -E 'error:' "$report/all" | sort -u >&2
  echo "$0: results dropped (above); handle each or cast it to void with a reason" >&2
  exit 1
fi
echo "$n files checked: no dropped result"
