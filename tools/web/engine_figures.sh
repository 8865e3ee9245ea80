#!/usr/bin/env bash
# Figures of the page in one engine (tools/web/engine_figures.mjs), with a
# display and a PulseAudio null sink of its own, and the stretches of silence
# inside the music as it reached the sound server (tests/windows/silences.py,
# the music's own rests left out against the capture tool's render).
#
#   tools/web/engine_figures.sh BUILD_WEB chromium|firefox|webkit BUILD [SECONDS] [RUNS]
#
# Run from the repository root; figures, not a test.
set -euo pipefail
usage="usage: engine_figures.sh BUILD_WEB chromium|firefox|webkit BUILD [SECONDS] [RUNS]"
web=${1:?$usage}
engine=${2:?$usage}
build=${3:?$usage}
seconds=${4:-30}
runs=${5:-2}
root=$(cd "$(dirname "$0")/../.." && pwd)
fail() {
  echo "engine_figures ($engine): $*" >&2
  exit 1
}
for tool in node python3 pulseaudio parec Xvfb; do
  command -v "$tool" >/dev/null || fail "$tool not found (scripts/setup.sh --browsers installs it)"
done
[ -x "$build/velmor-capture" ] || fail "$build/velmor-capture not found: build it first"

source "$root/tests/private_servers.sh"
private_work

"$build/velmor-capture" --fps 1 -o "$work/music/" >"$work/capture.log" 2>&1 ||
  fail "velmor-capture --fps 1: $(tail -1 "$work/capture.log")"

export VELMOR_CACHE=${VELMOR_CACHE:-$HOME/.cache/velmor}
export HOME=$work/home XDG_RUNTIME_DIR=$work/run
mkdir -p "$HOME" "$XDG_RUNTIME_DIR" "$work/heard"
chmod 700 "$XDG_RUNTIME_DIR"
[ "$engine" = chromium ] || start_display 1280x1024x24
start_sound
export PULSE_SERVER=$sound

# Headless Chromium plays into a fake output of its own: nothing to record.
record=$work/heard
[ "$engine" != chromium ] || record=
VELMOR_ENGINE=$engine VELMOR_RECORD=$record \
  bash "$root/tools/web/puppeteer.sh" "$root/tools/web/engine_figures.mjs" "$web" "$seconds" "$runs"
for recording in ${record:+"$record"/showing-*.raw}; do
  echo "$engine $(basename "$recording" .raw), as heard: $(python3 "$root/tests/windows/silences.py" \
    --music "$work/music/audio.wav" "$recording" | head -4 | paste -sd " ")"
done
