# Shared helpers for the tests that run the real program in its own X server.
# Each test sources this file, calls start_x, and is cleaned up on exit.
set -u

PROGRAM="$1"
WORK=$(mktemp -d)
PIDS=()

cleanup() {
  for p in "${PIDS[@]}"; do kill "$p" 2>/dev/null; done
  wait 2>/dev/null
  rm -rf "$WORK"
}
trap cleanup EXIT

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# start_x WIDTHxHEIGHT: a fresh Xvfb on a free display number.
start_x() {
  exec 3>"$WORK/display"
  Xvfb -displayfd 3 -screen 0 "$1x24" -nolisten tcp >"$WORK/xvfb.log" 2>&1 &
  PIDS+=($!)
  for _ in $(seq 100); do
    [ -s "$WORK/display" ] && break
    sleep 0.05
  done
  exec 3>&-
  [ -s "$WORK/display" ] || fail "Xvfb did not start: $(cat "$WORK/xvfb.log")"
  export DISPLAY=":$(cat "$WORK/display")"
}

# Close and minimise requests need a window manager; Xvfb has none.
start_wm() {
  openbox --sm-disable >"$WORK/openbox.log" 2>&1 &
  PIDS+=($!)
  for _ in $(seq 100); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && return 0
    sleep 0.05
  done
  fail "openbox did not start"
}

start_program() {
  "$PROGRAM" >"$WORK/stdout" 2>"$WORK/stderr" &
  APP=$!
  PIDS+=($APP)
}

# top_window TITLE [SECONDS]: id of the newest top-level window with that title.
top_window() {
  local deadline=$((SECONDS + ${2:-10})) id
  while [ $SECONDS -lt $deadline ]; do
    id=$(xwininfo -root -tree 2>/dev/null | awk -v t="\"$1\"" '$2 == t || index($0, t) { print $1 }' | tail -n 1)
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.1
  done
  return 1
}

# pixel X Y: the colour a person sees at that point of the screen.
pixel() {
  import -window root "$WORK/shot.png" 2>/dev/null
  convert "$WORK/shot.png" -format "%[pixel:p{$1,$2}]" info:
}

# cpu_ticks PID: user plus system time used so far, in clock ticks.
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }

# cpu_over PID SECONDS: ticks used during the next SECONDS.
cpu_over() {
  local t0 t1
  t0=$(cpu_ticks "$1")
  sleep "$2"
  t1=$(cpu_ticks "$1")
  echo $((t1 - t0))
}

# finish PID SECONDS: waits for the program to end; its exit status goes to STATUS.
finish() {
  local deadline=$((SECONDS + $2))
  while kill -0 "$1" 2>/dev/null && [ $SECONDS -lt $deadline ]; do sleep 0.05; done
  kill -0 "$1" 2>/dev/null && fail "program still running after $2 s"
  wait "$1"
  STATUS=$?
}

window_state() { xprop -id "$1" _NET_WM_STATE 2>/dev/null; }

readonly BACKGROUND="srgb(0,8,15)" # the scene's clear colour (0, 0.03, 0.06)
