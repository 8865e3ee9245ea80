# The intro opens its full-screen window on a display that has an 800x600 mode,
# shows its scene, and ends cleanly on SIGTERM and SIGINT.
source "$(dirname "$0")/lib.sh"
start_x 800x600
start_wm

start_program
id=$(top_window "Velmor for Torva") || fail "no window titled \"Velmor for Torva\": $(cat "$WORK/stderr"; xwininfo -root -tree | grep -v "has no name")"
geometry=$(xwininfo -id "$id" | awk '/Width:/{w=$2} /Height:/{h=$2} END{print w "x" h}')
[ "$geometry" = "800x600" ] || fail "window is $geometry, expected 800x600"
is_full_screen "$id" || fail "window is not full screen"
wait_for_scene 400 300 || fail "the scene never appeared"
for point in "400 300" "2 2" "797 597"; do
  # shellcheck disable=SC2086
  got=$(pixel $point)
  is_scene_colour "$got" || fail "pixel at $point is $got, not the scene's dark blue"
done
# The vignette darkens the edges against the middle.
centre=$(pixel 400 300 | tr -d 'srgb()' | cut -d, -f3)
corner=$(pixel 2 2 | tr -d 'srgb()' | cut -d, -f3)
[ "$corner" -lt "$centre" ] || fail "corner ($corner) not darker than the centre ($centre)"
top_window "Error" 0 >/dev/null && fail "a message box appeared although the mode exists"
[ ! -s "$WORK/stderr" ] || fail "unexpected output on standard error: $(cat "$WORK/stderr")"

kill -TERM "$APP"
finish "$APP" 15
[ "$STATUS" = 0 ] || fail "SIGTERM: exit status $STATUS"

start_program
top_window "Velmor for Torva" >/dev/null || fail "no window on the second start"
kill -INT "$APP"
finish "$APP" 15
[ "$STATUS" = 0 ] || fail "SIGINT: exit status $STATUS"
echo "window: 800x600 full screen, scene drawn (centre blue $centre, corner $corner), SIGTERM and SIGINT end with status 0"
