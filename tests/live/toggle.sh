# SIGUSR1 re-creates the window in the other mode, and the new window draws.
source "$(dirname "$0")/lib.sh"
start_x 800x600
start_wm

start_program
first=$(top_window "Velmor for Torva") || fail "no window"
is_full_screen "$first" || fail "first window not full screen"

kill -USR1 "$APP"
second=""
deadline=$((SECONDS + WAIT_LONG))
while [ $SECONDS -lt $deadline ]; do
  second=$(top_window "Velmor for Torva" 1)
  [ -n "$second" ] && [ "$second" != "$first" ] && break
  sleep 0.05
done
[ "$second" != "$first" ] || fail "SIGUSR1 did not re-create the window"
sleep 1 # the window manager sets a full-screen state a moment after mapping
window_state "$second" | grep -q _NET_WM_STATE_FULLSCREEN && fail "second window is full screen"
wait_for_scene 400 300
got=$(pixel 400 300)
is_scene_colour "$got" || fail "re-created window shows $got"
busy=$(cpu_over "$APP" 1)
[ "$busy" -ge 20 ] || fail "re-created window is not drawing ($busy ticks in 1 s)"

kill -USR1 "$APP"
third=""
deadline=$((SECONDS + WAIT_LONG))
while [ $SECONDS -lt $deadline ]; do
  third=$(top_window "Velmor for Torva" 1)
  [ -n "$third" ] && [ "$third" != "$second" ] && break
  sleep 0.05
done
[ "$third" != "$second" ] || fail "second SIGUSR1 did not re-create the window"
is_full_screen "$third" || fail "third window not full screen"

kill -TERM "$APP"
finish "$APP" 15
[ "$STATUS" = 0 ] || fail "exit status $STATUS"
echo "toggle: full screen -> window -> full screen, drawing $busy ticks/s, exit 0"
