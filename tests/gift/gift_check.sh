#!/usr/bin/env bash
# `make gift` as a person making a gift meets it:
#  - words in Latin and Cyrillic, three photos of our own making (different
#    sizes, one PNG, distinct colours) and our module give an OUT whose 45
#    pictures pass the coding checks ours pass, whose first text card is not
#    ours, whose first picture card carries the first photo's colour, and
#    whose capture tool shows the new dedication at 7 s, through a gift.pack
#    beside the normal build's programs;
#  - 9 and 11 cards, a line too long, a file that is not UTF-8, a file in
#    PHOTOS that is not a picture, a module whose order 7 is too short and a
#    module cut short are each refused with their message, a nonzero status
#    and OUT untouched;
#  - the repository's own pictures and module are unchanged by all of it.
#
#   tests/gift/gift_check.sh      (from the repository root; a few minutes)
source "$(dirname "$0")/lib.sh"
cd "$root"
ours() { (cd "$root" && sha256sum assets/images/* torva_velmor2.it); }
tree_sum() { (cd "$1" && find . -type f -print0 | sort -z | xargs -0 sha256sum); }
difference() { python3 tests/frame_difference.py "$@"; }
means_at_least() { # "mean R G B max …" whose three means all reach $2
  python3 -c "import sys; sys.exit(0 if min(map(float, '$1'.split()[1:4])) >= $2 else 1)"
}
means_below() {
  python3 -c "import sys; sys.exit(0 if max(map(float, '$1'.split()[1:4])) < $2 else 1)"
}
before=$(ours)

# --- a gift ---------------------------------------------------------------
words=$work/words.txt
{
  echo "# Latin and Cyrillic, as a person may mix them"
  echo "For Anna —"
  echo "с любовью"
  for card in 2 3 4 5 6 7 8 9; do
    echo
    echo "Card $card"
    echo "карточка $card"
  done
  echo
  echo "Made by"
  echo "."
  echo "Boris"
} >"$words"
photos=$work/photos
three_photos "$photos"

out=$work/out
started=$(date +%s.%N)
bash scripts/gift.sh "$words" "$photos" "" "$out" "" >"$work/gift.log" 2>&1 ||
  fail "the gift was refused: $(tail -5 "$work/gift.log")"
seconds=$(python3 -c "print(round($(date +%s.%N) - $started, 1))")
say "a gift with 3 photos in $seconds s: $(tail -1 "$work/gift.log")"
for f in velmor velmor-capture gift.pack torva_velmor2.it preview.png images/DATA_1.jpg; do
  [ -s "$out/$f" ] || fail "the gift has no $f"
done
# Nothing is compiled for a gift: its programs are the normal build's.
for f in velmor velmor-capture; do
  cmp -s "$out/$f" "build/$f" || fail "the gift's $f is not the normal build's"
done
cmp -s "$out/torva_velmor2.it" torva_velmor2.it || fail "the gift's module is not ours"
[ "$(ls "$out/images" | wc -l)" = 45 ] || fail "the gift has $(ls "$out/images" | wc -l) pictures, not 45"
VELMOR_CHECK_IMAGES=$out/images build/tests/tools/artwork/artwork_tests \
  --gtest_filter='ImageFiles.ExactlyTheInventoryIsPresent:ImageFiles.EveryJpegHasTheCodingTheLoaderExpects:ImageFiles.GlyphSheetsHaveTheExactTgaLayout' \
  >"$work/coding.log" 2>&1 || fail "the gift's pictures fail our coding checks: $(grep -m3 Failure -A3 "$work/coding.log")"
say "the 45 pictures pass the coding checks ours pass"

cmp -s "$out/images/DATA_1.jpg" assets/images/DATA_1.jpg && fail "the first text card is ours"
# The first picture card, cropped to the middle, against the first photo's red.
colour=$(convert "$out/images/DATA_8.jpg" -gravity center -crop 256x256+0+0 -resize 1x1\! \
  -format '%[fx:int(255*r)] %[fx:int(255*g)] %[fx:int(255*b)]' info:)
read -r red green blue <<<"$colour"
[ "$red" -ge 150 ] && [ "$green" -le 80 ] && [ "$blue" -le 80 ] ||
  fail "the first picture card's middle is ($colour), not the first photo's red"
say "the first picture card carries the first photo's red ($colour)"

(cd "$out" && ./velmor-capture --fps 10 --still 7 "$work/gift-7.png" >/dev/null 2>&1) ||
  fail "the gift's velmor-capture --still 7 failed"
build/velmor-capture --fps 10 --still 7 "$work/ours-7.png" >/dev/null 2>&1 ||
  fail "our velmor-capture --still 7 failed"
build/velmor-capture --fps 10 --still 0.5 "$work/bare.png" >/dev/null 2>&1 ||
  fail "our velmor-capture --still 0.5 failed"
middle=(--crop 400x200+200+200)
against_ours=$(difference "${middle[@]}" "$work/gift-7.png" "$work/ours-7.png")
against_bare=$(difference "${middle[@]}" "$work/gift-7.png" "$work/bare.png")
say "the gift's frame at 7 s, middle, against ours: $against_ours; against the bare background: $against_bare"
# Ours and the bare frame differ there by 27 levels on average; the gift's
# dedication is another text in the same place, so it differs from both.
means_at_least "$against_ours" 5 || fail "the gift's dedication at 7 s looks like ours"
means_at_least "$against_bare" 5 || fail "no card in the gift's frame at 7 s"

# --- refusals ---------------------------------------------------------------
# Each is run against an OUT that already holds the gift above, which must be
# left exactly as it was.
kept=$(tree_sum "$out")
refused() { # refused NAME EXPECTED-MESSAGE WORDS [PHOTOS] [MUSIC]
  local name=$1 expected=$2 status=0
  bash scripts/gift.sh "$3" "${4:-}" "${5:-}" "$out" "" >"$work/$name.log" 2>&1 || status=$?
  [ "$status" != 0 ] || fail "$name: accepted"
  grep -qF -- "$expected" "$work/$name.log" ||
    fail "$name: no \"$expected\" in: $(cat "$work/$name.log")"
  [ "$(tree_sum "$out")" = "$kept" ] || fail "$name: OUT was changed"
  say "$name: refused with \"$expected\", status $status, OUT untouched"
}

cards() { # cards N: a words file of N two-line cards
  for ((i = 1; i <= $1; ++i)); do
    [ "$i" = 1 ] || echo
    echo "Card $i"
    echo "line two"
  done
}
cards 9 >"$work/nine.txt"
cards 11 >"$work/eleven.txt"
refused "9 cards" "9 cards" "$work/nine.txt"
refused "11 cards" "11 cards" "$work/eleven.txt"
{ cards 10 | sed '5s/.*/This line goes on and on and on and on and on and on far past the card/'; } \
  >"$work/long.txt"
refused "a line too long" "card 2, line 2" "$work/long.txt"
{ cards 10 | sed '2s/.*/caf\xe9 au lait/'; } >"$work/latin1.txt"
refused "not UTF-8" "latin1.txt:2" "$work/latin1.txt"
mkdir "$work/mixed"
cp "$photos"/* "$work/mixed/"
echo "a shopping list" >"$work/mixed/2-notes.jpg"
refused "not a picture" "2-notes.jpg" "$words" "$work/mixed"
# Our module with order 7's pattern cut to 100 rows.
python3 - torva_velmor2.it "$work/short.it" <<'EOF'
import struct, sys
data = bytearray(open(sys.argv[1], "rb").read())
orders, instruments, samples, patterns = struct.unpack_from("<4H", data, 0x20)
order_list = data[0xC0:0xC0 + orders]
table = 0xC0 + orders + 4 * instruments + 4 * samples
offset = struct.unpack_from("<I", data, table + 4 * order_list[7])[0]
struct.pack_into("<H", data, offset + 2, 100)
open(sys.argv[2], "wb").write(data)
EOF
refused "order 7 too short" "order 7 has 100 rows" "$words" "" "$work/short.it"
# Our module cut to 43 % of its size, and its first 1000 bytes: one line each.
size=$(stat -c %s torva_velmor2.it)
head -c $((size * 43 / 100)) torva_velmor2.it >"$work/cut.it"
head -c 1000 torva_velmor2.it >"$work/first-1000.it"
refused "module cut to 43 %" \
  "cut.it: the file is cut short or damaged; $((size * 43 / 100)) of $size bytes" \
  "$words" "" "$work/cut.it"
refused "module of 1000 bytes" "first-1000.it: the file is cut short or damaged; 1000 of " \
  "$words" "" "$work/first-1000.it"
for name in "module cut to 43 %" "module of 1000 bytes"; do
  [ "$(grep -c '^velmor-module:' "$work/$name.log")" = 1 ] ||
    fail "$name: not one line from the check: $(cat "$work/$name.log")"
done

[ "$(ours)" = "$before" ] || fail "the repository's own pictures or module changed"
say "the repository's own pictures and module are unchanged"
say "all passed"
