# shellcheck shell=bash
# What each gift test starts with: the repository's root, a scratch folder
# removed at the end, and messages named after the test.
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd -P)
work=$(realpath "$(mktemp -d)")
trap 'rm -rf "$work"' EXIT
test_name=$(basename "$0" .sh)

fail() {
  echo "$test_name: FAIL: $*" >&2
  exit 1
}
say() { echo "$test_name: $*"; }

# three_photos FOLDER: three photos of distinct colours, sizes and kinds, the
# first red, in a new FOLDER.
three_photos() {
  mkdir "$1"
  convert -size 900x600 xc:'#d02818' "$1/1-red.jpg"
  convert -size 300x420 xc:'#18c030' "$1/2-green.png"
  convert -size 640x640 xc:'#2040e0' "$1/3-blue.jpg"
}
