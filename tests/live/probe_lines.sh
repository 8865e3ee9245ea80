#!/bin/bash
# The probe lines belong to the test builds only: the intro and the capture
# tool people run must not write them, and the test builds must, or the live
# tests that read them would be judging nothing. Only the writing ProbeLine
# holds the line's prefix; the silent one has no text at all.
#   probe_lines.sh SHIPPED... -- PROBE...
set -u
fail=0
carries() { grep -q -a 'probe: %s' "$1"; }
shipped=1
for program in "$@"; do
  if [ "$program" = "--" ]; then shipped=0; continue; fi
  if [ $shipped = 1 ] && carries "$program"; then
    echo "FAIL: $program carries the probe lines"; fail=1
  elif [ $shipped = 0 ] && ! carries "$program"; then
    echo "FAIL: $program lacks the probe lines"; fail=1
  fi
done
exit $fail
