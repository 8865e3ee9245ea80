#!/usr/bin/env bash
# Long runs of the intro that watch its resident size: the whole show from
# start to natural end, and a run with twenty full-screen toggles. Usage:
#   tools/soak.sh PROGRAM   (e.g. build-sanitize/velmor, built with sanitisers)
# Prints the RSS curve's start and end and the verdicts; exits nonzero when a
# run fails, leaks, or its resident size does not stay flat.
set -u
cd "$(dirname "$0")/.."
program=$(realpath "$1")
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null; rm -rf "$work"' EXIT

exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp >/dev/null 2>&1 &
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.05; done
exec 3>&-
export DISPLAY=":$(cat "$work/display")" SDL_AUDIODRIVER=dummy
# A small quarantine: freed memory held back for use-after-free checks
# would otherwise show as growth of the resident size.
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:verify_asan_link_order=0:quarantine_size_mb=4} LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$PWD/tests/lsan.supp:print_suppressions=0}
# The GL driver is unloaded before the leak check, and its one-time
# allocations would then come from a module no suppression can name; keeping
# it loaded lets tests/lsan.supp name it.
driver=$(ls /usr/lib/*/dri/swrast_dri.so 2>/dev/null | head -n 1)
[ -n "$driver" ] && export LD_PRELOAD="$driver"

rss() { awk '/VmRSS/ { print $2 }' "/proc/$1/status" 2>/dev/null; }
status=0

# 1. The whole show, sampled about once a second. The plateau is taken once
# start-up is over (the 20th sample).
began=$SECONDS
"$program" 2>"$work/whole.err" &
app=$!
samples=()
while kill -0 "$app" 2>/dev/null; do
  r=$(rss "$app")
  [ -n "$r" ] && samples+=("$r")
  sleep 1
done
wait "$app"
code=$?
n=${#samples[@]}
plateau=${samples[20]:-0}
final=${samples[$((n - 3))]:-0}
change=$(awk -v a="$plateau" -v b="$final" 'BEGIN { printf "%.2f", (b - a) * 100 / a }')
leaks=$(grep -c 'ERROR: LeakSanitizer\|ERROR: AddressSanitizer\|runtime error' "$work/whole.err")
echo "whole show: $((SECONDS - began)) s, $n samples, exit $code, RSS after start-up (sample 20) $plateau kB, 3 samples before the end $final kB ($change %), min $(printf '%s\n' "${samples[@]}" | sort -n | head -1) kB, max $(printf '%s\n' "${samples[@]}" | sort -n | tail -1) kB, sanitizer reports $leaks"
awk -v c="$change" 'BEGIN { exit !(c < 2 && c > -2) }' || status=1
[ "$code" = 0 ] && [ "$leaks" = 0 ] || status=1

# 2. Twenty re-creations of the window, 1.5 s apart; then let it settle.
"$program" 2>"$work/toggle.err" &
app=$!
sleep 15
first=$(rss "$app")
for _ in $(seq 20); do
  kill -USR1 "$app"
  sleep 1.5
done
sleep 10
after=$(rss "$app")
kill -INT "$app"
wait "$app"
code=$?
change=$(awk -v a="$first" -v b="$after" 'BEGIN { printf "%.2f", (b - a) * 100 / a }')
leaks=$(grep -c 'ERROR: LeakSanitizer\|ERROR: AddressSanitizer\|runtime error' "$work/toggle.err")
echo "twenty toggles: RSS before $first kB, after $after kB ($change %), exit $code, sanitizer reports $leaks"
awk -v c="$change" 'BEGIN { exit !(c < 5 && c > -5) }' || status=1
[ "$code" = 0 ] && [ "$leaks" = 0 ] || status=1
[ "$status" = 0 ] && echo "soak: flat" || { echo "soak: FAILED"; tail -n 20 "$work"/*.err; }
exit "$status"
