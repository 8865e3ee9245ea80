# One row of the fault table per run: bad input and unkind treatment of the
# real program, each with the outcome the user should see. Usage:
#   faults.sh PROBE FAULT_BUILDS_FOLDER ROW
source "$(dirname "$0")/lib.sh"
PROBE="$1"
BIN="$2"
ROW="$3"
start_x 800x600
MODULE="$PWD/torva_velmor2.it"

# run_in FOLDER PROGRAM: starts PROGRAM with FOLDER as its current folder.
run_in() {
  : >"$WORK/stderr"
  (cd "$1" && exec "$2" >"$WORK/stdout" 2>"$WORK/stderr") &
  APP=$!
  PIDS+=($APP)
}

wait_for_line() { # PATTERN SECONDS
  local deadline=$((SECONDS + $2))
  while [ $SECONDS -lt $deadline ]; do
    grep -q -- "$1" "$WORK/stderr" && return 0
    kill -0 "$APP" 2>/dev/null || break
    sleep 0.1
  done
  grep -q -- "$1" "$WORK/stderr"
}

press_escape() {
  local id
  id=$(top_window "Velmor for Torva") || fail "no window to press Escape in"
  press_key "$id" Escape
}

ends_with() { # STATUS SECONDS
  finish "$APP" "$2"
  [ "$STATUS" = "$1" ] || fail "exit status $STATUS, expected $1: $(tail -3 "$WORK/stderr")"
}

no_frame() { ! grep -q '^probe: first frame' "$WORK/stderr" || fail "a frame was drawn"; }

# The program ends with status 1 before its first frame, having said exactly
# one line, EXPECTED, about WHAT.
refused_with_line() { # WHAT EXPECTED
  ends_with 1 60
  no_frame
  [ "$(grep -c '^velmor: ' "$WORK/stderr")" = 1 ] && grep -qxF "$2" "$WORK/stderr" ||
    fail "not the one line naming the $1: $(cat "$WORK/stderr")"
  echo "$ROW: \"$2\", status 1, no frame"
}

case "$ROW" in
module_missing | module_damaged | module_truncated)
  mkdir -p "$WORK/run"
  [ "$ROW" = module_damaged ] && head -c 4096 /dev/urandom >"$WORK/run/torva_velmor2.it"
  [ "$ROW" = module_truncated ] && head -c 50000 "$MODULE" >"$WORK/run/torva_velmor2.it"
  start_wm
  run_in "$WORK/run" "$PROBE"
  wait_for_line '^probe: first frame' 60 || fail "no frame: $(cat "$WORK/stderr")"
  sleep 5
  kill -0 "$APP" || fail "the program ended by itself"
  if [ "$ROW" = module_truncated ]; then
    outcome="plays what the cut file holds"
    grep -q 'cannot .* the music' "$WORK/stderr" && outcome="refused: $(grep 'the music' "$WORK/stderr")"
  else
    line=$(grep 'velmor: cannot .* the music "torva_velmor2.it"' "$WORK/stderr") ||
      fail "no line naming the module: $(cat "$WORK/stderr")"
    grep -q '^probe: step' "$WORK/stderr" && fail "a card was revealed without music"
    outcome="background only; \"$line\""
  fi
  press_escape
  # A show without its music did not play: its status says so.
  want=1
  [ "$ROW" = module_truncated ] && ! grep -q 'the music' "$WORK/stderr" && want=0
  ends_with "$want" 15
  echo "$ROW: $outcome; Escape -> status $want"
  ;;
no_audio)
  export SDL_AUDIODRIVER=nosuchdriver
  run_in "$PWD" "$PROBE"
  box=$(top_window "Error") || fail "no message box: $(cat "$WORK/stderr")"
  xdotool key --window "$box" Return
  ends_with 1 30
  no_frame
  grep -q 'no sound output' "$WORK/stderr" || fail "no reason given: $(cat "$WORK/stderr")"
  echo "no_audio: box \"Cannot open the audio device.\", $(grep 'no sound' "$WORK/stderr"), status 1, no frame"
  ;;
font_damaged)
  run_in "$PWD" "$BIN/velmor-fault-font"
  refused_with_line font 'velmor: cannot load the font "DATA_FONT2" (TGA): pixel depth 16 is not 24 or 32'
  ;;
pack_damaged)
  # A gift pack that is no pack (here the module under its name) beside the
  # module: one line naming it, no frame, status 1.
  mkdir -p "$WORK/run"
  cp "$MODULE" "$WORK/run/torva_velmor2.it"
  cp "$MODULE" "$WORK/run/gift.pack"
  run_in "$WORK/run" "$PROBE"
  refused_with_line pack \
    'velmor: the gift pack "gift.pack" cannot be shown: not a gift pack (it does not begin with VELMORPK)'
  ;;
jpeg_missing)
  before=$(xdpyinfo | awk '/dimensions:/ { print $2 }')
  run_in "$PWD" "$BIN/velmor-fault-nofilm"
  ends_with 1 30
  no_frame
  grep -q '^Not a JPEG file: starts with 0xff 0xd9$' "$WORK/stderr" ||
    fail "not the library's line: $(cat "$WORK/stderr")"
  # The library ended the process while the display was switched to full screen.
  after=$(xdpyinfo | awk '/dimensions:/ { print $2 }')
  [ "$after" = "$before" ] || fail "the display was left at $after instead of $before"
  echo "jpeg_missing: \"Not a JPEG file: starts with 0xff 0xd9\", status 1, no frame, display $after as before"
  ;;
jpeg_cut)
  start_wm
  run_in "$PWD" "$BIN/velmor-fault-cut"
  wait_for_line '^probe: first frame' 60 || fail "no frame: $(cat "$WORK/stderr")"
  warnings=$(grep -c '^Premature end of JPEG file$' "$WORK/stderr")
  [ "$warnings" = 1 ] || fail "$warnings warning lines"
  press_escape
  ends_with 0 15
  echo "jpeg_cut: one \"Premature end of JPEG file\" line, the show runs, Escape -> status 0"
  ;;
close_mid_fade)
  start_wm
  run_in "$PWD" "$PROBE"
  wait_for_line '^probe: first frame' 60 || fail "no frame"
  sleep 1
  press_escape
  sleep 0.3
  wmctrl -c "Velmor for Torva"
  ends_with 0 15
  echo "close_mid_fade: the close waits for the fade, status 0"
  ;;
toggles)
  start_wm
  run_in "$PWD" "$PROBE"
  wait_for_line '^probe: first frame' 60 || fail "no frame"
  sleep 1
  first=$(awk '/VmRSS/ { print $2 }' "/proc/$APP/status")
  for _ in $(seq 20); do
    kill -USR1 "$APP"
    sleep 0.6
  done
  sleep 4
  kill -0 "$APP" || fail "the program died during the toggles: $(tail -3 "$WORK/stderr")"
  last=$(awk '/VmRSS/ { print $2 }' "/proc/$APP/status")
  # Every step once, in order, whatever the toggles did to the frame rate.
  steps=$(grep '^probe: step' "$WORK/stderr" | awk '{ print $3 }' | tr '\n' ' ')
  expected=$(seq -s ' ' 0 $(($(grep -c '^probe: step' "$WORK/stderr") - 1)))
  [ "${steps% }" = "$expected" ] || fail "steps out of order: $steps"
  [ -n "$steps" ] || fail "no card was revealed during the toggles"
  growth=$(awk -v a="$first" -v b="$last" 'BEGIN { printf "%.1f", (b - a) * 100 / a }')
  awk -v g="$growth" 'BEGIN { exit !(g < 5) }' || fail "resident size grew by $growth % ($first -> $last kB)"
  press_escape
  ends_with 0 15
  echo "toggles: 20 re-creations, steps ${steps% } in order, RSS $first -> $last kB ($growth %), status 0"
  ;;
minimise)
  start_wm
  run_in "$PWD" "$PROBE"
  wait_for_line '^probe: first frame' 60 || fail "no frame"
  id=$(top_window "Velmor for Torva") || fail "no window"
  xdotool windowminimize "$id"
  sleep 1
  asleep=$(main_thread_over "$APP" 30)
  [ "$asleep" -le 3 ] || fail "$asleep ticks in 30 s while minimised (drawing thread)"
  wmctrl -a "Velmor for Torva"
  sleep 1
  awake=$(cpu_over "$APP" 2)
  [ "$awake" -ge 20 ] || fail "not drawing after the restore ($awake ticks in 2 s)"
  press_escape
  ends_with 0 15
  echo "minimise: drawing thread $asleep ticks in 30 s minimised, process $awake ticks in 2 s after restoring, status 0"
  ;;
*)
  fail "unknown row $ROW"
  ;;
esac
