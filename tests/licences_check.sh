#!/usr/bin/env bash
# What is given (the page's folder, or the Windows zip) carries a licence for
# each library compiled into it, and no copyleft licence anywhere, so that a
# giver may publish it with no source to offer.
#
#   tests/licences_check.sh BUILD_WEB | VELMOR_ZIP
#
# Needs python3 for a zip. Takes a second.
set -euo pipefail

given=${1:?usage: licences_check.sh BUILD_WEB | VELMOR_ZIP}
fail() {
  echo "licences_check: FAIL: $given: $*" >&2
  exit 1
}

work=""
trap '[ -z "$work" ] || rm -rf "$work"' EXIT
if [ -f "$given" ]; then
  command -v python3 >/dev/null || { echo "licences_check: python3 not found" >&2; exit 1; }
  work=$(mktemp -d)
  python3 -m zipfile -e "$given" "$work" 2>/dev/null || fail "not a zip that python3 can read"
  root=$work
elif [ -d "$given" ]; then
  root=$given
else
  fail "no such folder or zip"
fi

folders=()
while IFS= read -r -d '' folder; do folders+=("$folder"); done \
  < <(find "$root" -type d -name licences -print0)
[ ${#folders[@]} -eq 1 ] || fail "holds ${#folders[@]} folders named licences, not one"
count=$(find "${folders[0]}" -type f | wc -l)
# libopenmpt and libjpeg-turbo at the least, whatever else the target adds.
[ "$count" -ge 2 ] || fail "its licences folder holds $count files"
for name in libopenmpt libjpeg-turbo; do
  compgen -G "${folders[0]}/$name-*" >/dev/null || fail "no licence of $name"
done

# The names the copyleft licences give themselves in their own text.
copyleft='GNU (Lesser |Library |Affero )?General Public License|Mozilla Public License|Eclipse Public License'
if found=$(cd "$root" && grep -rilE "$copyleft" .); then
  fail "copyleft terms in: ${found//$'\n'/, }"
fi
echo "licences_check: $given: $count licences, all permissive"
