# Without a display the class cannot be registered: both boxes' texts reach
# standard error and the exit status is -1 (255).
source "$(dirname "$0")/lib.sh"
env -u DISPLAY -u WAYLAND_DISPLAY "$PROGRAM" >"$WORK/stdout" 2>"$WORK/stderr"
status=$?
[ "$status" = 255 ] || fail "exit status $status, expected 255"
grep -q '^velmor: no display' "$WORK/stderr" || fail "no reason given: $(cat "$WORK/stderr")"
lines=$(grep '^Error: ' "$WORK/stderr")
expected=$'Error: RegisterClassEx Failed!\nError: Error Registering Window Class!'
[ "$lines" = "$expected" ] || fail "standard error was: $(cat "$WORK/stderr")"
echo "no_display: status 255, both messages on standard error"
