#!/usr/bin/env bash
# A gift's Windows zip as its receiver meets it: unzipped, velmor.exe started
# in its folder under Wine (a fresh prefix, an 800x600 virtual screen, a
# sound device that plays to no one), and the screen watched until the
# dedication shows (tests/maker/nearest_frames.py tells it from ours).
# Escape then ends it, status 0.
#
#   tests/maker/wine_gift.sh GIFT-windows.zip GIFT_FRAMES/ OURS_FRAMES/
#
# GIFT_FRAMES and OURS_FRAMES hold the capture tool's frames from 3.5 s to
# 10.5 s of the show, the gift's and ours. About a minute and a half.
set -euo pipefail

usage="usage: wine_gift.sh GIFT-windows.zip GIFT_FRAMES/ OURS_FRAMES/"
zip=$(realpath "${1:?$usage}")
gift_frames=$(realpath "${2:?$usage}")
ours_frames=$(realpath "${3:?$usage}")
here=$(cd "$(dirname "$0")" && pwd)
for tool in wine wineserver Xvfb xdotool pulseaudio import python3; do
  command -v "$tool" >/dev/null || { echo "wine_gift: $tool not found" >&2; exit 1; }
done

fail() {
  echo "wine_gift: FAIL: $*" >&2
  exit 1
}
say() { echo "wine_gift: $*"; }
source "$here/../private_servers.sh"
private_work
trap 'WINEPREFIX=$work/prefix wineserver -k 2>/dev/null || true; private_cleanup' EXIT

python3 -c "import sys, zipfile; zipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2])" \
  "$zip" "$work/unzipped" || fail "$zip does not unzip"
folder=$(dirname "$(find "$work/unzipped" -name velmor.exe | head -n 1)")
[ -f "$folder/velmor.exe" ] || fail "$zip holds no velmor.exe"
for file in gift.pack torva_velmor2.it README.txt; do
  [ -f "$folder/$file" ] || fail "$zip holds no $file beside velmor.exe"
done

export HOME=$work/home WINEPREFIX=$work/prefix XDG_RUNTIME_DIR=$work/run WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
mkdir -p "$HOME" "$XDG_RUNTIME_DIR"
start_display 800x600x24
timeout 120 wine wineboot -i >/dev/null 2>&1 || fail "wineboot could not make a prefix"
timeout 60 wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f \
  >/dev/null 2>&1 || fail "cannot set the X11 driver's Managed key"
start_sound
export PULSE_SERVER=$sound

# Started as Explorer starts it: in its own folder, where it finds gift.pack.
(cd "$folder" && exec timeout 300 wine velmor.exe) >"$work/app.log" 2>&1 &
app=$!
pids+=("$app")
window=
for _ in $(seq 300); do
  window=$(xdotool search --onlyvisible --name '^Velmor for Torva$' 2>/dev/null | head -n 1 || true)
  [ -n "$window" ] && break
  kill -0 "$app" 2>/dev/null || fail "velmor.exe ended before its window: $(tail -3 "$work/app.log")"
  sleep 0.1
done
[ -n "$window" ] || fail "no window titled \"Velmor for Torva\" within 30 s"

# The dedication is on the screen from 3.8 s to about 8 s of the show, turning
# and growing; Wine's start-up (3 to 11 s here) decides when that is. The
# screen is photographed as often as it can be for 30 s, and each photograph
# set against the capture tool's frames of that stretch, the gift's and ours.
shots_from=$(date +%s)
for i in $(seq -w 1 999); do
  import -window root "$work/screen-$i.png"
  [ $(($(date +%s) - shots_from)) -lt 30 ] || break
done
seen=0
found=$(python3 "$here/nearest_frames.py" "$gift_frames" "$ours_frames" "$work"/screen-*.png) ||
  seen=$?
say "of $(ls "$work"/screen-*.png | wc -l) screenshots, $found"
[ "$seen" = 0 ] || fail "the gift's dedication did not show"

xdotool windowfocus --sync "$window" key Escape 2>/dev/null || true
for _ in $(seq 100); do
  kill -0 "$app" 2>/dev/null || break
  sleep 0.1
done
kill -0 "$app" 2>/dev/null && fail "Escape did not end velmor.exe within 10 s"
status=0
wait "$app" || status=$?
[ "$status" = 0 ] || fail "velmor.exe ended with status $status: $(tail -3 "$work/app.log")"
say "the gift's zip shows its dedication under Wine; Escape ended it with status 0"
