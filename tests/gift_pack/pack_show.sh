#!/usr/bin/env bash
# The show with a gift pack beside it, through the capture tool:
#  - a pack of our own pictures and module, in a folder without the module
#    file, shows exactly our frames: the pack's bytes are what is drawn and
#    its module what sets the time;
#  - a pack of pictures made from words and red photos shows another
#    dedication at 7 s and a red photo on the picture card at 33.6 s;
#  - a truncated pack, another version, a picture's length past the end and a
#    file that is no pack are each refused with one line naming gift.pack and
#    what is wrong, and no frame is written.
#
#   pack_show.sh VELMOR-CAPTURE VELMOR-ARTWORK VELMOR-PACK   (from the repository root)
set -euo pipefail

capture=$(realpath "$1") artwork=$(realpath "$2") pack=$(realpath "$3")
root=$(pwd -P)
work=$(realpath "$(mktemp -d)")
trap 'rm -rf "$work"' EXIT
fail() {
  echo "pack_show: FAIL: $*" >&2
  exit 1
}
say() { echo "pack_show: $*"; }
still() { # still FOLDER SECONDS PNG: the frame at SECONDS, run in FOLDER
  (cd "$1" && "$capture" --fps 10 --still "$2" "$3" >"$3.log" 2>&1) ||
    fail "velmor-capture --still $2 in $1 failed: $(cat "$3.log")"
}
middle_mean() { # the mean R G B of a frame's middle, 0-255
  convert "$1" -gravity center -crop 200x150+0+0 -resize 1x1\! \
    -format '%[fx:int(255*r)] %[fx:int(255*g)] %[fx:int(255*b)]' info:
}

# --- ours, from a pack ---------------------------------------------------
mkdir "$work/ours"
"$pack" --module torva_velmor2.it assets/images "$work/ours/gift.pack" >/dev/null
for t in 7 33.6; do
  still "$root" "$t" "$work/ours-$t.png"
  still "$work/ours" "$t" "$work/ours-pack-$t.png"
  cmp -s "$work/ours-$t.png" "$work/ours-pack-$t.png" ||
    fail "our pictures and module from a pack draw another frame at $t s than ours built in"
done
say "our pictures and module from a pack give our frames at 7 and 33.6 s, byte for byte"

# --- a gift's pictures ---------------------------------------------------
mkdir "$work/photos" "$work/gift"
for i in $(seq -w 1 30); do convert -size 400x300 xc:'#d02818' "$work/photos/$i.jpg"; done
"$artwork" --words examples/words.txt --photos "$work/photos" "$work/images" >/dev/null 2>&1 ||
  fail "velmor-artwork refused examples/words.txt and red photos"
"$pack" "$work/images" "$work/gift/gift.pack" >/dev/null
cp torva_velmor2.it "$work/gift/"
still "$work/gift" 7 "$work/gift-7.png"
still "$work/gift" 33.6 "$work/gift-33.6.png"
difference=$(python3 tests/frame_difference.py --crop 400x200+200+200 "$work/gift-7.png" \
  "$work/ours-7.png")
python3 -c "import sys; sys.exit(0 if min(map(float, '$difference'.split()[1:4])) >= 5 else 1)" ||
  fail "the gift's dedication at 7 s looks like ours ($difference)"
read -r red green blue <<<"$(middle_mean "$work/gift-33.6.png")"
# Ours is grey-blue there; the card, faded into the background, keeps red far above the rest.
[ "$red" -ge 100 ] && [ $((red - green)) -ge 50 ] && [ $((red - blue)) -ge 50 ] ||
  fail "the picture card at 33.6 s is ($red $green $blue) in the middle, not the photos' red"
say "a gift's pack: another dedication at 7 s ($difference), the red photo at 33.6 s" \
  "($red $green $blue)"

# --- refusals --------------------------------------------------------------
good=$work/gift/gift.pack
size=$(stat -c %s "$good")
mkdir "$work/bad"
cp torva_velmor2.it "$work/bad/"
refused() { # refused NAME EXPECTED: gift.pack in bad/ is refused with EXPECTED
  local status=0
  rm -f "$work/bad/frame.png"
  (cd "$work/bad" && "$capture" --fps 10 --still 7 frame.png >"$work/$1.out" 2>"$work/$1.err") ||
    status=$?
  [ "$status" != 0 ] || fail "$1: the show started"
  [ ! -e "$work/bad/frame.png" ] || fail "$1: a frame was written"
  local lines
  lines=$(grep -c '^velmor:' "$work/$1.err" || true)
  [ "$lines" = 1 ] || fail "$1: $lines lines from the intro, not one: $(cat "$work/$1.err")"
  grep -qF -- "velmor: the gift pack \"gift.pack\" cannot be shown: $2" "$work/$1.err" ||
    fail "$1: no \"$2\" in: $(cat "$work/$1.err")"
  say "$1: refused with \"$(grep '^velmor:' "$work/$1.err")\""
}
# A pack with a field changed and its checksum made right again.
patched() { # patched OFFSET VALUE: the good pack with the u32 at OFFSET set to VALUE
  python3 - "$good" "$work/bad/gift.pack" "$1" "$2" <<'PY'
import struct, sys, zlib
data = bytearray(open(sys.argv[1], "rb").read())
struct.pack_into("<I", data, int(sys.argv[3]), int(sys.argv[4]))
struct.pack_into("<I", data, 28, zlib.crc32(data[32:]))
open(sys.argv[2], "wb").write(data)
PY
}
head -c $((size / 2)) "$good" >"$work/bad/gift.pack"
refused truncated "truncated: $((size / 2)) of its $size bytes"
patched 8 2
refused "wrong version" "made for version 2 of the gift pack; this intro reads version 1"
# The first entry's length (after 4 bytes of type and 36 of name).
patched $((32 + 40 + 4)) $((size * 2))
refused "length past the end" "picture 1 (DATA_1 JPG) runs past the end of the file"
cp torva_velmor2.it "$work/bad/gift.pack"
refused "a module, not a pack" "not a gift pack (it does not begin with VELMORPK)"
