#!/usr/bin/env bash
# The module must load in both common players without complaint. Exits 77
# (skipped) only when neither player is installed.
# usage: players_load.sh MODULE
set -u
module=${1:?usage: players_load.sh MODULE}
checked=0 failed=0

expect() { # name, output, pattern
  if ! grep -Eq "$3" <<<"$2"; then
    echo "$1: expected /$3/ in:"$'\n'"$2" >&2
    failed=1
  fi
}

if command -v openmpt123 >/dev/null; then
  checked=1
  if out=$(timeout 30 openmpt123 --info "$module" 2>&1); then
    expect openmpt123 "$out" 'Orders\.*: 13$'
    expect openmpt123 "$out" 'Patterns\.*: 13$'
    expect openmpt123 "$out" 'Duration\.*: 03:(1[5-9]|2[0-5])'
    if grep -Eiq 'warning|error' <<<"$out"; then echo "openmpt123 complained:"$'\n'"$out" >&2; failed=1; fi
  else
    echo "openmpt123 --info failed:"$'\n'"$out" >&2
    failed=1
  fi
fi

if command -v xmp >/dev/null; then
  checked=1
  if out=$(timeout 30 xmp --load-only "$module" 2>&1); then
    expect xmp "$out" 'Module type +: Impulse Tracker'
    expect xmp "$out" 'Patterns +: 13$'
    expect xmp "$out" 'Instruments +: 14$'
    expect xmp "$out" 'Duration +: 3min(1[5-9]|2[0-5])s'
    if grep -Eiq 'warning|error|unsupported' <<<"$out"; then echo "xmp complained:"$'\n'"$out" >&2; failed=1; fi
  else
    echo "xmp --load-only failed:"$'\n'"$out" >&2
    failed=1
  fi
fi

[ "$checked" = 1 ] || { echo "neither openmpt123 nor xmp is installed; skipping" >&2; exit 77; }
exit "$failed"
