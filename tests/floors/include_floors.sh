#!/usr/bin/env bash
# Lists every `#include "folder/..."` that reaches up: code includes only its
# own floor and the floors below it. Lowest first:
#   0 platform   1 music   2 app, assets   3 scene   4 capture, bench, tools, worklet
# Tests and fuzzers stand outside the order. A folder missing from the order
# is listed too, so that a new room is placed before it is used.
# Usage: include_floors.sh [source root]; exits 1 when anything is listed.
set -euo pipefail
root=${1:-$(cd "$(dirname "$0")/../.." && pwd)}
cd "$root"

floor() {
  case $1 in
    platform) echo 0 ;;
    music) echo 1 ;;
    app | assets) echo 2 ;;
    scene) echo 3 ;;
    capture | bench | tools | worklet) echo 4 ;;
    *) echo "" ;;
  esac
}

folders=()
for folder in platform music app assets scene capture bench tools worklet; do
  [[ -d $folder ]] && folders+=("$folder")
done

found=0
while IFS= read -r hit; do
  file=${hit%%:*}
  rest=${hit#*:}
  line=${rest%%:*}
  included=$(sed -E 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"([^"]*)".*/\1/' <<<"${rest#*:}")
  # Beside the including file: the same folder, the same floor.
  [[ $included == */* ]] || continue
  from=$(floor "${file%%/*}")
  to=$(floor "${included%%/*}")
  if [[ -z $to ]]; then
    echo "$file:$line: includes \"$included\", whose folder has no floor"
    found=1
  elif ((to > from)); then
    echo "$file:$line: includes \"$included\", a floor above its own"
    found=1
  fi
done < <(grep -rnE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' \
  --include='*.h' --include='*.hpp' --include='*.c' --include='*.cc' --include='*.cpp' \
  "${folders[@]}" | sort)
exit $found
