# Under a window manager: the intro draws flat out while visible, sleeps while
# minimised, draws again when restored, and a close request ends it with 0.
source "$(dirname "$0")/lib.sh"
start_x 800x600
start_wm

start_program
id=$(top_window "Velmor for Torva") || fail "no window"
sleep 0.5
visible=$(cpu_over "$APP" 2)
# No sleep in the loop: drawing an empty frame as fast as it can keeps a core busy.
[ "$visible" -ge 40 ] || fail "only $visible ticks in 2 s while visible"

xdotool windowminimize "$id"
sleep 0.5
minimised=$(main_thread_over "$APP" 2)
[ "$minimised" -le 2 ] || fail "$minimised ticks in 2 s while minimised (drawing thread)"

wmctrl -a "Velmor for Torva"
sleep 0.5
restored=$(cpu_over "$APP" 1)
[ "$restored" -ge 20 ] || fail "only $restored ticks in 1 s after restoring"

wmctrl -c "Velmor for Torva"
finish "$APP" 15
[ "$STATUS" = 0 ] || fail "close: exit status $STATUS"
echo "close_minimise: ticks visible $visible/2s, minimised (drawing thread) $minimised/2s, restored $restored/1s; close -> 0"
