#!/usr/bin/env bash
# A gift given to someone with nothing but a browser: `make gift …
# TARGETS=html,web` from words with a dedication of their own and three photos
# of the test's making writes velmor-for-NAME.html (NAME from the dedication)
# of at most 8 MB, and the page folder of `make web` as it was built, with the
# gift's pack and module beside it; a target it does not know is refused.
# Then tests/web/gift_page_tests.mjs opens them in headless Chromium against
# the capture tool run in the gift's folder, and opens one files whose packs
# are damaged in three ways.
#
#   tests/gift/gift_html_check.sh      (from the repository root; a few minutes)
#
# Needs the normal build's tools and the browser page (make web).
source "$(dirname "$0")/lib.sh"
cd "$root"
for tool in node convert python3 chromium; do
  command -v "$tool" >/dev/null || fail "$tool not found"
done

words=$work/words.txt
{
  echo "For Zinaida,"
  echo "from Pyotr"
  for card in 2 3 4 5 6 7 8 9 10; do
    echo
    echo "Card $card"
    echo "карточка $card"
  done
} >"$words"
photos=$work/photos
three_photos "$photos"

# A target the gift does not know is refused before anything is made.
status=0
bash scripts/gift.sh "$words" "$photos" "" "$work/unknown" "html,pdf" >"$work/unknown.log" 2>&1 ||
  status=$?
[ "$status" = 1 ] && grep -qF '"pdf" is not one of web, windows, html' "$work/unknown.log" &&
  [ ! -e "$work/unknown" ] || fail "TARGETS=html,pdf: status $status, $(cat "$work/unknown.log")"

out=$work/gift
started=$(date +%s.%N)
make -s gift WORDS="$words" PHOTOS="$photos" OUT="$out" TARGETS=html,web >"$work/gift.log" 2>&1 ||
  fail "the gift was refused: $(tail -5 "$work/gift.log")"
seconds=$(python3 -c "print(round($(date +%s.%N) - $started, 1))")
say "a gift with its one file and page folder in $seconds s"
html=$out/velmor-for-zinaida-from-pyotr.html
[ -f "$html" ] || fail "no $html; the gift holds: $(ls "$out")"
grep -qF "$(basename "$html")" "$work/gift.log" || fail "the gift's log does not name its one file"
size=$(stat -c %s "$html")
say "$(basename "$html"): $size bytes"
[ "$size" -le 8000000 ] || fail "the one file is $size bytes, more than 8 MB"

# The page folder: the normal build's page, file for file, with the pack and
# the module beside it.
(cd build-web && find . -type f ! -name torva_velmor2.it | sort) >"$work/built.txt"
(cd "$out/web" && find . -type f ! -name torva_velmor2.it ! -name gift.pack | sort) \
  >"$work/given.txt"
cmp -s "$work/built.txt" "$work/given.txt" || fail "the page folder's files are not build-web's"
while read -r f; do
  cmp -s "build-web/$f" "$out/web/$f" || fail "the page folder's $f is not build-web's"
done <"$work/built.txt"
cmp -s "$out/web/gift.pack" "$out/gift.pack" || fail "the page folder's gift.pack is not the gift's"
cmp -s "$out/web/torva_velmor2.it" "$out/torva_velmor2.it" ||
  fail "the page folder's module is not the gift's"

# The capture tool in the gift's folder, where it reads the pack.
capture() {
  (cd "$out" && ./velmor-capture "$@" >"$work/capture.log" 2>&1) ||
    fail "velmor-capture $*: $(tail -1 "$work/capture.log")"
}
capture --fps 10 --still 7 "$work/still-7.png"
capture --fps 20 --from 6.6 --to 7.8 -o "$work/around-7/"
capture --fps 10 --still 33.6 "$work/picture.png"

# One files with damaged packs, each with what the reader must say of it.
damaged=$work/damaged
mkdir "$damaged"
python3 - "$out/gift.pack" "$damaged" <<'EOF'
import pathlib, struct, sys, zlib
pack = pathlib.Path(sys.argv[1]).read_bytes()
out = pathlib.Path(sys.argv[2])
def write(name, data, expected):
    (out / f"{name}.pack").write_bytes(data)
    (out / f"{name}.expected").write_text(expected + "\n")
write("truncated", pack[: len(pack) // 2], f"truncated: {len(pack) // 2} of its {len(pack)} bytes")
newer = bytearray(pack)
struct.pack_into("<I", newer, 8, 2)
write("newer", newer, "made for version 2 of the gift pack; this intro reads version 1")
# The first picture's length past the end, its checksum made right, so that
# only the length is wrong.
long = bytearray(pack)
kind, name = (bytes(long[a:b]).rstrip(b"\0").decode() for a, b in ((32, 36), (36, 72)))
offset = struct.unpack_from("<I", long, 72)[0]
length = len(long) - offset + 1
struct.pack_into("<I", long, 76, length)
struct.pack_into("<I", long, 28, zlib.crc32(bytes(long[32:])))
write("past-the-end", long, f"picture 1 ({name} {kind}) runs past the end of the file "
      f"(offset {offset}, {length} bytes, file {len(long)} bytes)")
EOF
for pack in "$damaged"/*.pack; do
  node tools/web/make_one_file.mjs build-web "${pack%.pack}.html" --pack "$pack" --words "$words" \
    >/dev/null || fail "no one file made with $pack"
  rm "$pack"
done

build/tools/module/velmor-module --check "$out/torva_velmor2.it" >"$work/steps.txt" 2>&1 ||
  fail "velmor-module --check: $(tail -1 "$work/steps.txt")"

VELMOR_STEPS=$work/steps.txt VELMOR_GIFT_HTML=$html VELMOR_GIFT_WEB=$out/web \
  VELMOR_GIFT_STILL_7=$work/still-7.png VELMOR_GIFT_AROUND_7=$work/around-7 \
  VELMOR_GIFT_PICTURE=$work/picture.png VELMOR_GIFT_DAMAGED=$damaged timeout -k 10 900 \
  bash tools/web/puppeteer.sh --test ${VELMOR_TEST_ARGS:-} tests/web/gift_page_tests.mjs ||
  fail "the gift's pages failed (see above)"
say "all passed"
