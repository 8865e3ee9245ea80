#!/usr/bin/env bash
# Screenshots of the live intro in a virtual X server (with SDL's disk audio
# driver, so no sound card is needed) at three moments: a text card, a picture
# card and the last text card at their brightest. Writes docs/live_*.png.
set -eu
cd "$(dirname "$0")/.."
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null; rm -rf "$work"' EXIT

exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp >/dev/null 2>&1 &
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.05; done
export DISPLAY=":$(cat "$work/display")" SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=/dev/null

# Seconds after start: card 1 "DATA_1" (revealed at 3.8 s, brightest from 6.3 s),
# card 8 "DATA_8" (30.7 s; 32.5 s), card 40 "EDATA_3" (169 s; alone from 179 s to 185 s).
shots=("6.6 live_text_card" "33.6 live_picture_card" "181 live_last_card")
./build/velmor 2>/dev/null &
app=$!
began=$(date +%s.%N)
for shot in "${shots[@]}"; do
  read -r at name <<<"$shot"
  now=$(date +%s.%N)
  wait_for=$(awk -v a="$at" -v b="$began" -v n="$now" 'BEGIN { d = a - (n - b); print (d > 0 ? d : 0) }')
  sleep "$wait_for"
  import -window root "docs/$name.png"
  echo "screenshots: docs/$name.png at $at s" >&2
done
kill -INT "$app"
wait "$app" || true
