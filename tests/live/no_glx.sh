# An X server without GLX: the window cannot get an OpenGL context. The user
# is told so, and the exit status says it failed.
source "$(dirname "$0")/lib.sh"
start_x 800x600 -extension GLX

start_program
box=$(top_window "Error") || fail "no message box: $(cat "$WORK/stderr")"
xdotool key --window "$box" Return
# One box: the mode switch itself needs no OpenGL and must not be reported as failed.
sleep 1
second=$(top_window "Error" 2) && [ "$second" != "$box" ] && fail "a second message box appeared"
finish "$APP" 15
[ "$STATUS" = 1 ] || fail "exit status $STATUS after the box"
echo "no_glx: box shown and dismissed, exit status 1"
