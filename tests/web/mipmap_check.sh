#!/usr/bin/env bash
# The browser's mipmap builder (GLU compiled with emcc, run under Node) against
# the desktop's (Debian's libGLU), level by level, for every picture the show
# embeds and for a picture of no power-of-two size, which GLU must rescale.
#   tests/web/mipmap_check.sh
set -euo pipefail
export NODE_PATH=/usr/share/nodejs
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
deps=$(bash "$root/scripts/third-party.sh" web)
glu=$deps/$(awk '$1 == "glu" { print $2 }' "$deps/packages.txt")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

g++ -O2 -o "$work/native" "$here/mipmap_levels.cpp" -lGLU -lGL
em++ -O2 -I"$glu/include" -o "$work/web.js" "$here/mipmap_levels.cpp" "$glu/lib/libGLU.a" \
  -sENVIRONMENT=node -sNODERAWFS=1 -sALLOW_MEMORY_GROWTH 2>/dev/null

pictures=("$root"/assets/images/*.jpg)
convert -size 300x200 plasma:fractal -seed 7 "$work/odd.png"
checked=0
for picture in "${pictures[@]}" "$work/odd.png"; do
  read -r width height < <(identify -format '%w %h\n' "$picture")
  convert "$picture" -depth 8 "rgb:$work/pixels.rgb"
  "$work/native" "$width" "$height" "$work/pixels.rgb" >"$work/native.txt"
  node --no-experimental-fetch "$work/web.js" "$width" "$height" "$work/pixels.rgb" >"$work/web.txt"
  if ! cmp -s "$work/native.txt" "$work/web.txt"; then
    echo "mipmap_check: FAIL: $(basename "$picture") (${width}x$height): the levels differ" >&2
    diff "$work/native.txt" "$work/web.txt" | head -n 6 >&2
    exit 1
  fi
  checked=$((checked + 1))
done
levels=$(grep -c '^level' "$work/native.txt")
echo "mipmap_check: $checked pictures, every level the same texels (the 300x200 one: $levels levels)"
