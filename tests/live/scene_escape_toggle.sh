# Escape ends the show within 1.5 s at any moment; SIGUSR1 mid-show keeps the
# music going and the next card still arrives on its row.
source "$(dirname "$0")/lib.sh"
PROBE="$2"
start_x 800x600
start_wm

escape_after() {
  "$PROBE" >"$WORK/stdout" 2>"$WORK/stderr" &
  APP=$!
  PIDS+=($APP)
  id=$(top_window "Velmor for Torva") || fail "no window"
  sleep "$1"
  xdotool windowactivate --sync "$id" 2>/dev/null
  xdotool keydown Escape
  # The key is down once xdotool has returned.
  local pressed
  pressed=$(date +%s.%N)
  sleep 0.3
  xdotool keyup Escape
  finish "$APP" 15
  local took
  took=$(awk -v a="$(date +%s.%N)" -v b="$pressed" 'BEGIN { printf "%.2f", a - b }')
  [ "$STATUS" = 0 ] || fail "Escape after $1 s: exit status $STATUS"
  awk -v t="$took" 'BEGIN { exit !(t <= 1.5) }' || fail "Escape after $1 s took $took s"
  grep -q '^probe: fade 1000 ms' "$WORK/stderr" || fail "no one-second fade"
  echo "escape after $1 s: ended in $took s"
}
escape_after 1
escape_after 6.5

"$PROBE" >"$WORK/stdout" 2>"$WORK/stderr" &
APP=$!
PIDS+=($APP)
top_window "Velmor for Torva" >/dev/null || fail "no window"
# Card 3 comes at order 1 (15.4 s); toggle just before it.
sleep 13
kill -USR1 "$APP"
sleep 6
# The first frame in order 1 takes it, however late that frame comes.
grep -q '^probe: step 3 card 3 at order 1 row [0-9]* after order 0 ' "$WORK/stderr" ||
  fail "card 3 not on its row after the toggle: $(grep probe "$WORK/stderr")"
# Still in the first pass of the module: no step was taken twice.
[ "$(grep -c '^probe: step 0 ' "$WORK/stderr")" = 1 ] || fail "the music started over"
id=$(top_window "Velmor for Torva") || fail "no window after the toggle"
press_key "$id" Escape
finish "$APP" 15
[ "$STATUS" = 0 ] || fail "exit status $STATUS after the toggle"
echo "scene_escape_toggle: Escape within 1.5 s twice; toggle kept music and cards"
