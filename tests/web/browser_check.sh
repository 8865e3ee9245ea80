#!/usr/bin/env bash
# The intro's page in headless Chromium (software WebGL), checked against the
# capture tool: the cover waits for its click; the test hook ?at=S&fps=10,
# for a text card at 7 s and a picture card at 33.6 s, leaves on the canvas
# the very frame `velmor-capture --fps 10 --still S` writes (within a stated
# bound, and closer to it than to the frames before and after); without the
# module the hook says so and gives no still.
#
#   tests/web/browser_check.sh BUILD_WEB VELMOR_CAPTURE
#
# Needs chromium, python3 and ImageMagick's convert; run from the repository
# root (the capture tool reads torva_velmor2.it there). About two minutes.
set -euo pipefail

web=${1:?usage: browser_check.sh BUILD_WEB VELMOR_CAPTURE}
capture=${2:?usage: browser_check.sh BUILD_WEB VELMOR_CAPTURE}
for tool in chromium python3 convert; do
  command -v "$tool" >/dev/null || { echo "browser_check: $tool not found" >&2; exit 1; }
done

work=$(mktemp -d)
servers=()
cleanup() {
  for pid in "${servers[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "browser_check: FAIL: $*" >&2
  exit 1
}

# Serves a folder on a free port of the loopback; sets `port`.
serve() {
  port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
  python3 -m http.server "$port" --bind 127.0.0.1 --directory "$1" >"$work/server-$port.log" 2>&1 &
  servers+=($!)
  for _ in $(seq 50); do
    python3 -c "import urllib.request; urllib.request.urlopen('http://127.0.0.1:$port/')" \
      2>/dev/null && return 0
    sleep 0.1
  done
  fail "the web server on port $port did not start"
}

browser=(chromium --headless --enable-unsafe-swiftshader --disable-background-networking
  --hide-scrollbars --window-size=800,600)
if [ "$(id -u)" -eq 0 ]; then browser+=(--no-sandbox); fi

# The page's state once the browser's virtual clock has run `budget` ms.
state_of() {
  local url=$1 budget=$2
  timeout 300 "${browser[@]}" --dump-dom --virtual-time-budget="$budget" "$url" 2>/dev/null |
    sed -n 's/.*<body[^>]*data-state="\([a-z]*\)".*/\1/p' | head -n 1
}


# What a static host serves, all of it: at most 5 MB. The music's player is
# there once, in the audio thread's module (1.3 MB, libopenmpt nearly all of
# it), which the page's program calls too.
bytes=$(find "$web" -type f -printf '%s\n' | awk '{ n += $1 } END { print n + 0 }')
echo "browser_check: $web holds $(find "$web" -type f | wc -l) files, $bytes bytes"
[ "$bytes" -le 5000000 ] || fail "$web holds $bytes bytes, more than 5 MB"

serve "$web"
page="http://127.0.0.1:$port/"

state=$(state_of "$page" 5000)
[ "$state" = waiting ] || fail "the cover should wait for its click; the page is \"$state\""
echo "browser_check: the cover waits for its click"

# The frame the still hook leaves for `moment` against the capture tool's at
# the same moment and the frames a tenth of a second either side of it.
# Measured here: SwiftShader and Mesa round texture filtering and blending a
# little differently, by at most 0.5 levels of 255 on average per channel at
# 7 s and 1.0 at 33.6 s, 10 and 14 at most in one pixel; the neighbouring
# frames differ by 2.8 to 4.2 on average and 44 to 115 at most. The bounds
# below leave room for another SwiftShader without letting a neighbour pass.
# A card is visible when the frame is far from the bare background at 0.5 s
# (measured: 9.3 and 19 levels on average).
check_moment() {
  local moment=$1 budget=$2 shot="$work/web-$1.png"
  state=$(state_of "${page}?at=$moment&fps=10" "$budget")
  [ "$state" = still ] || fail "?at=$moment&fps=10 should end \"still\", not \"$state\""
  timeout 300 "${browser[@]}" --screenshot="$shot" --virtual-time-budget="$budget" \
    "${page}?at=$moment&fps=10" >/dev/null 2>&1
  [ -s "$shot" ] || fail "no screenshot of ?at=$moment&fps=10"
  local before after
  read -r before after < <(python3 -c "print(round($moment - 0.1, 1), round($moment + 0.1, 1))")
  for t in "$before" "$moment" "$after"; do
    [ -s "$work/native-$t.png" ] ||
      "$capture" --fps 10 --still "$t" "$work/native-$t.png" >/dev/null 2>&1 ||
      fail "velmor-capture --fps 10 --still $t failed"
  done
  local same near_before near_after bare
  same=$(difference "$shot" "$work/native-$moment.png")
  near_before=$(difference "$shot" "$work/native-$before.png")
  near_after=$(difference "$shot" "$work/native-$after.png")
  bare=$(difference "$shot" "$work/native-0.5.png")
  echo "browser_check: at $moment s against the capture: $same"
  echo "browser_check:   against $before s: $near_before; $after s: $near_after;" \
    "the bare background: $bare"
  python3 - "$same" "$near_before" "$near_after" "$bare" <<'EOF2' ||
import sys
same, before, after, bare = ([float(x) for x in line.split()[1:4]] +
                             [float(x) for x in line.split()[5:8]]
                             for line in sys.argv[1:])
ok = (max(same[:3]) <= 1.5 and max(same[3:]) <= 24
      and all(max(same[:3]) * 2 < min(n[:3]) for n in (before, after))
      and min(bare[:3]) >= 5)
sys.exit(0 if ok else 1)
EOF2
    fail "the page's frame at $moment s is not the capture's (bounds: mean 1.5, max 24" \
      "per channel; neighbours at least twice as far; card at least 5 from the background)"
}

difference() { python3 tests/frame_difference.py "$1" "$2"; }

"$capture" --fps 10 --still 0.5 "$work/native-0.5.png" >/dev/null 2>&1 ||
  fail "velmor-capture --fps 10 --still 0.5 failed"
check_moment 7 120000
check_moment 33.6 400000

mkdir "$work/no-module"
cp "$web"/index.html "$web"/velmor.js "$web"/velmor.wasm "$web"/velmor_page.js "$work/no-module/"
serve "$work/no-module"
state=$(state_of "http://127.0.0.1:$port/?at=7&fps=10" 60000)
[ "$state" = error ] || fail "without the module ?at= should end \"error\", not \"$state\""
echo "browser_check: without the module the still hook reports an error"

# A file that is no module: refused by the music's player, which the page's
# program reaches through the worklet's module; the page shows the line that
# names the file and libopenmpt's reason.
mkdir "$work/not-a-module"
cp -r "$web"/. "$work/not-a-module/"
head -c 4096 /dev/zero > "$work/not-a-module/torva_velmor2.it"
serve "$work/not-a-module"
dom=$(timeout 300 "${browser[@]}" --dump-dom --virtual-time-budget=60000 \
  "http://127.0.0.1:$port/?at=7&fps=10" 2>/dev/null)
state=$(sed -n 's/.*<body[^>]*data-state="\([a-z]*\)".*/\1/p' <<<"$dom" | head -n 1)
[ "$state" = error ] || fail "with no module in its file ?at= should end \"error\", not \"$state\""
refusal=$(grep -o 'velmor: cannot load the music "torva_velmor2.it": [^<]*' <<<"$dom" | head -n 1)
[ -n "$refusal" ] && [ "${refusal#*\": }" != "" ] ||
  fail "the refused module's line (naming the file and the reason) is not on the page"
echo "browser_check: a file that is no module is refused: $refusal"
echo "browser_check: all passed"
