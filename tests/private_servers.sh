# An X server and a sound server of a check's own, so that nothing of the
# user's display or sound is touched. Sourced by scripts that define a `fail`
# function and either call `private_work` or set `work` (a temporary folder)
# and `pids` (ended on exit) themselves.

# A temporary folder `work` and a list `pids` of what was started, both gone
# on exit.
private_work() {
  work=$(mktemp -d)
  pids=()
  trap private_cleanup EXIT
}
private_cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}

# Starts an X server of the given size (WIDTHxHEIGHTxDEPTH); sets DISPLAY.
# -displayfd picks a free display number. -noreset: a server resetting as its
# last client leaves refuses whoever connects meanwhile, and short-lived
# probes come and go while a program is still connecting.
start_display() {
  exec 3>"$work/display"
  Xvfb -displayfd 3 -screen 0 "$1" -nolisten tcp -noreset >/dev/null 2>&1 &
  pids+=($!)
  exec 3>&-
  for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.05; done
  [ -s "$work/display" ] || fail "Xvfb did not start"
  export DISPLAY=":$(cat "$work/display")"
  : >"$work/display"
}

# Starts a PulseAudio with a null sink: a sound device that plays in real
# time and is heard by no one. Sets `sound`, its address for PULSE_SERVER.
start_sound() {
  pulseaudio -n --daemonize=no --exit-idle-time=-1 --disallow-exit --log-target=stderr \
    --load="module-native-protocol-unix socket=$work/pulse.sock auth-anonymous=1" \
    --load="module-null-sink" 2>"$work/pulse.log" &
  pids+=($!)
  for _ in $(seq 100); do [ -S "$work/pulse.sock" ] && break; sleep 0.05; done
  [ -S "$work/pulse.sock" ] || fail "PulseAudio did not start: $(tail -1 "$work/pulse.log")"
  sound="unix:$work/pulse.sock"
}
