# Shared helpers for the tests that run the real program in its own X server.
# Each test sources this file, calls start_x, and is cleaned up on exit.
set -u

PROGRAM="$1"
WORK=$(mktemp -d)
# No sound card here: SDL's dummy driver plays the music into nothing, at the
# real pace. Tests that need the sound itself choose the disk driver.
export SDL_AUDIODRIVER=dummy
PIDS=()
# Waits for something that will happen (a server starting, a window
# appearing, the first frame after the pictures are decoded) end as soon as it
# does; their limits only bound a failure, so they are sized for a machine
# whose cores are busy with other work: several times what an idle one needs.
WAIT_LONG=30

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

# start_x WIDTHxHEIGHT [XVFB OPTION...]: a fresh Xvfb on a free display number.
start_x() {
  local size="$1"
  shift
  exec 3>"$WORK/display"
  # -noreset: by default the server resets when its last client leaves, and a
  # client connecting meanwhile is refused; the tests' short-lived probes
  # (xprop, xdotool) leave while the window manager or the program is still
  # connecting.
  Xvfb -displayfd 3 -screen 0 "${size}x24" -nolisten tcp -noreset "$@" >"$WORK/xvfb.log" 2>&1 &
  PIDS+=($!)
  local deadline=$((SECONDS + WAIT_LONG))
  while [ $SECONDS -lt $deadline ]; do
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
  local deadline=$((SECONDS + WAIT_LONG))
  while [ $SECONDS -lt $deadline ]; do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && return 0
    sleep 0.05
  done
  fail "openbox did not start within $WAIT_LONG s: $(cat "$WORK/openbox.log")"
}

start_program() {
  "$PROGRAM" >"$WORK/stdout" 2>"$WORK/stderr" &
  APP=$!
  PIDS+=($APP)
}

# top_window TITLE [SECONDS]: id of the newest top-level window with that title.
top_window() {
  local deadline=$((SECONDS + ${2:-WAIT_LONG})) id
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

# main_thread_over PID SECONDS: the same for the thread that draws and pumps
# messages alone (the music plays on in a thread of its own).
main_thread_over() {
  local t0 t1
  t0=$(awk '{ print $14 + $15 }' "/proc/$1/task/$1/stat")
  sleep "$2"
  t1=$(awk '{ print $14 + $15 }' "/proc/$1/task/$1/stat")
  echo $((t1 - t0))
}

# wait_for_scene X Y [SECONDS]: until the point shows the scene (the pictures
# are decoded before the first frame, which takes a moment).
wait_for_scene() {
  local deadline=$((SECONDS + ${3:-WAIT_LONG}))
  while [ $SECONDS -lt $deadline ]; do
    is_scene_colour "$(pixel "$1" "$2")" && return 0
    sleep 0.2
  done
  return 1
}

# is_scene_colour R G B: the dark blue of the scene's background, lifted by
# the glow and shaded by the vignette (not black, not the desktop's colour).
is_scene_colour() {
  local rgb
  rgb=$(echo "$1" | tr -d 'srgb()' | tr ',' ' ')
  read -r r g b <<<"$rgb"
  [ "$b" -gt "$g" ] && [ "$g" -gt "$r" ] && [ "$b" -ge 20 ] && [ "$b" -le 120 ]
}

# finish PID SECONDS: waits for the program to end; its exit status goes to STATUS.
finish() {
  local deadline=$((SECONDS + $2))
  while kill -0 "$1" 2>/dev/null && [ $SECONDS -lt $deadline ]; do sleep 0.01; done
  kill -0 "$1" 2>/dev/null && fail "program still running after $2 s"
  wait "$1"
  STATUS=$?
}

# press_key WINDOW KEY: as a person presses it, down for a moment. The intro
# polls its key table once a frame, so a press and release inside one frame
# (as `xdotool key` sends them) would never be seen.
press_key() {
  xdotool windowactivate --sync "$1" 2>/dev/null
  xdotool keydown "$2"
  sleep 0.3
  xdotool keyup "$2"
}

window_state() { xprop -id "$1" _NET_WM_STATE 2>/dev/null; }

# is_full_screen ID: whether the window manager shows it full screen; it sets
# the state a moment after the window appears, so this waits for it.
is_full_screen() {
  local deadline=$((SECONDS + 15))
  while [ $SECONDS -lt $deadline ]; do
    window_state "$1" | grep -q _NET_WM_STATE_FULLSCREEN && return 0
    sleep 0.1
  done
  return 1
}


# load_cpu N SECONDS: N busy processes of our own for at most SECONDS, as other
# work on the machine would be; they end with the test.
load_cpu() {
  for _ in $(seq "$1"); do
    timeout "$2" sh -c 'while :; do :; done' &
    PIDS+=($!)
  done
}

# seconds_since START: wall-clock seconds since a `date +%s.%N` reading.
seconds_since() { awk -v a="$(date +%s.%N)" -v b="$1" 'BEGIN { printf "%.2f", a - b }'; }
