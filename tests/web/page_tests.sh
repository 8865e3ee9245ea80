#!/usr/bin/env bash
# Runs tests/web/page_tests.mjs against a browser build in one engine:
# chromium (headless), firefox or webkit (each with a window on an Xvfb screen
# of its own, and sound into a PulseAudio null sink of its own, so that
# nothing of the user's display or sound is touched). The native build in
# BUILD gives what the page is compared with.
#
#   tests/web/page_tests.sh BUILD_WEB ENGINE BUILD
#
# Run from the repository root (the capture tool reads torva_velmor2.it there).
# VELMOR_TEST_ARGS adds arguments for node's test runner, such as
# --test-name-pattern=Escape to run the cases whose names match.
set -euo pipefail
usage="usage: page_tests.sh BUILD_WEB chromium|firefox|webkit BUILD"
web=${1:?$usage}
engine=${2:?$usage}
build=${3:?$usage}
root=$(cd "$(dirname "$0")/../.." && pwd)
capture=$build/velmor-capture
module=$build/tools/module/velmor-module

fail() {
  echo "page_tests ($engine): $*" >&2
  exit 1
}

case "$engine" in
  chromium) tools=(chromium) ;;
  firefox) tools=(firefox-esr Xvfb pulseaudio) ;;
  webkit) tools=(WebKitWebDriver Xvfb pulseaudio) ;;
  *) fail "unknown engine \"$engine\"; $usage" ;;
esac
for tool in node python3 convert "${tools[@]}"; do
  command -v "$tool" >/dev/null || fail "$tool not found (scripts/setup.sh --browsers installs it)"
done
for program in "$capture" "$module"; do
  [ -x "$program" ] || fail "$program not found: build it first"
done

source "$root/tests/private_servers.sh"
private_work

"$capture" --fps 10 --still 0.5 "$work/bare.png" >"$work/capture.log" 2>&1 ||
  fail "velmor-capture --fps 10 --still 0.5: $(tail -1 "$work/capture.log")"
if [ "$engine" != chromium ]; then
  "$capture" --fps 10 --still 7 "$work/still-7.png" >"$work/capture.log" 2>&1 ||
    fail "velmor-capture --fps 10 --still 7: $(tail -1 "$work/capture.log")"
fi
"$module" --check torva_velmor2.it >"$work/steps.txt" 2>&1 ||
  fail "velmor-module --check torva_velmor2.it: $(tail -1 "$work/steps.txt")"

if [ "$engine" != chromium ]; then
  # The browsers and the sound server keep their profiles, caches and
  # sockets under HOME and XDG_RUNTIME_DIR; puppeteer-core stays where it
  # was installed. The engines' sound libraries find the null sink through
  # PULSE_SERVER.
  export VELMOR_CACHE=${VELMOR_CACHE:-$HOME/.cache/velmor}
  export HOME=$work/home XDG_RUNTIME_DIR=$work/run
  mkdir -p "$HOME" "$XDG_RUNTIME_DIR"
  chmod 700 "$XDG_RUNTIME_DIR"
  start_display 1280x1024x24
  start_sound
  export PULSE_SERVER=$sound
fi

# A browser that hangs fails its case, and the run, instead of stalling it
# (the cases take one to four minutes on a busy machine).
status=0
VELMOR_WEB=$web VELMOR_ENGINE=$engine VELMOR_BARE=$work/bare.png \
  VELMOR_STILL_7=$work/still-7.png VELMOR_STEPS=$work/steps.txt \
  timeout -k 10 900 bash "$root/tools/web/puppeteer.sh" --test \
  ${VELMOR_TEST_ARGS:-} "$root/tests/web/page_tests.mjs" ||
  status=$?
[ "$status" -ne 124 ] || fail "the page tests did not end within 15 minutes"
exit $status
