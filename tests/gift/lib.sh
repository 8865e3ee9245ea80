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
