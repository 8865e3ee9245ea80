# On a display without an 800x600 mode the intro says so in a box, then runs
# in a window of that size.
source "$(dirname "$0")/lib.sh"
start_x 1024x768
start_wm

start_program
box=$(top_window "Error") || fail "no message box about the mode switch"
top_window "Velmor for Torva" 0 >/dev/null && fail "window created before the box was answered"
import -window root "$WORK/box.png" 2>/dev/null
mkdir -p build && cp "$WORK/box.png" build/mode_switch_box.png
xdotool key --window "$box" Return
id=$(top_window "Velmor for Torva") || fail "no window after the box"
geometry=$(xwininfo -id "$id" | awk '/Width:/{w=$2} /Height:/{h=$2} END{print w "x" h}')
[ "$geometry" = "800x600" ] || fail "window is $geometry"
sleep 1 # the window manager sets a full-screen state a moment after mapping
window_state "$id" | grep -q _NET_WM_STATE_FULLSCREEN && fail "window claims full screen"
wait_for_scene 400 300
got=$(pixel 400 300)
is_scene_colour "$got" || fail "window shows $got"
outside=$(pixel 900 700)
is_scene_colour "$outside" && fail "the scene covers the whole 1024x768 screen"

kill -TERM "$APP"
finish "$APP" 15
[ "$STATUS" = 0 ] || fail "exit status $STATUS"
echo "mode_switch_fails: box shown and dismissed, 800x600 window, exit 0"
