#!/usr/bin/env bash
# The maker page against `make gift`, from the same words (with a dedication
# of their own) and the same thirty photos of the test's making:
#  - the gift made on the command line (scripts/gift.sh, with its single
#    file), and its frames
#    through the capture tool: the dedication at 7 s, the first picture card
#    at 33.6 s, and ours at the same moments;
#  - the maker in headless Chromium (tests/maker/maker_tests.mjs): it loads,
#    then asks for nothing; the refusals of the words, photos and module;
#    the 45 pictures, the pack and the single file byte for byte; the single
#    file opened from disk against the capture's frames; the preview; the
#    folder for a web host and the Windows zip;
#  - the downloaded Windows zip under Wine, showing the dedication
#    (tests/maker/wine_gift.sh).
#
#   tests/maker/maker_check.sh BUILD_MAKER BUILD
#
# BUILD is the normal build (velmor-capture and the gift's tools). Run from
# the repository root. About five minutes. VELMOR_MAKER_SHOTS=FOLDER keeps
# the maker's screenshots at 1280x800 and 768x1024 there.
set -euo pipefail

usage="usage: maker_check.sh BUILD_MAKER BUILD"
maker=$(realpath "${1:?$usage}")
build=$(realpath "${2:?$usage}")
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
for tool in convert python3 node wine Xvfb; do
  command -v "$tool" >/dev/null || { echo "maker_check: $tool not found" >&2; exit 1; }
done

fail() {
  echo "maker_check: FAIL: $*" >&2
  exit 1
}
say() { echo "maker_check: $*"; }
source "$root/tests/private_servers.sh"
private_work

# --- the inputs -------------------------------------------------------------
# Thirty photos, each of its own colour with a bar across it, so that a swap
# of two or a lost orientation shows; three of them PNG. The first is the
# reddest, for the first picture card.
photos=$work/photos
mkdir "$photos"
for i in $(seq 1 30); do
  hue=$(( (i - 1) * 12 ))
  extension=jpg
  [ $((i % 10)) = 5 ] && extension=png
  convert -size 720x540 "xc:hsl($hue,80%,45%)" -fill "hsl($(( (hue + 180) % 360 )),80%,60%)" \
    -draw "rectangle 0,$((i * 12)) 720,$((i * 12 + 90))" "$photos/$(printf %02d "$i").$extension"
done
refusals=$work/refusals
mkdir "$refusals"
convert -size 100x90 xc:'#a0a0a0' "$refusals/tiny.jpg"
echo "not a picture" >"$refusals/notes.jpg"
head -c 5000 /dev/urandom >"$refusals/song.it"

# Our words with a dedication of their own.
words=$work/words.txt
{
  printf 'For Oksana,\nfrom Petr\n\n'
  sed '/^#/d' "$root/examples/words.txt" | awk 'BEGIN { RS = ""; ORS = "\n\n" } NR > 1'
} >"$words"

# --- the gift made by make gift -----------------------------------------------
gift=$work/gift
started=$(date +%s)
bash "$root/scripts/gift.sh" "$words" "$photos" "" "$gift" html >"$work/gift.log" 2>&1 ||
  fail "make gift failed: $(tail -5 "$work/gift.log")"
say "make gift with 30 photos in $(($(date +%s) - started)) s"
stills=$work/stills
mkdir "$stills"
for t in 7 33.6; do
  (cd "$gift" && ./velmor-capture --fps 10 --still "$t" "$stills/gift-$t.png" >/dev/null 2>&1) ||
    fail "the gift's velmor-capture --still $t failed"
  (cd "$root" && "$build/velmor-capture" --fps 10 --still "$t" "$stills/ours-$t.png" >/dev/null 2>&1) ||
    fail "our velmor-capture --still $t failed"
done
# The stretch the dedication is on the screen, for the Windows program's run.
(cd "$gift" && ./velmor-capture --fps 10 --from 3.5 --to 10.5 -o "$work/gift-frames/" >/dev/null 2>&1) ||
  fail "the gift's velmor-capture --from 3.5 --to 10.5 failed"
(cd "$root" && "$build/velmor-capture" --fps 10 --from 3.5 --to 10.5 -o "$work/ours-frames/" \
  >/dev/null 2>&1) || fail "our velmor-capture --from 3.5 --to 10.5 failed"

# --- the maker in the browser ---------------------------------------------------
downloads=$work/downloads
mkdir "$downloads"
VELMOR_MAKER=$maker VELMOR_GIFT=$gift VELMOR_STILLS=$stills VELMOR_PHOTOS=$photos \
  VELMOR_REFUSALS=$refusals VELMOR_WORDS=$words VELMOR_DOWNLOADS=$downloads \
  VELMOR_WINDOWS=$root/build-win/velmor-for-torva \
  bash "$root/tools/web/puppeteer.sh" --test "$here/maker_tests.mjs" ||
  fail "the maker's tests failed (above)"

# --- its Windows zip under Wine -------------------------------------------------
zip=$(find "$downloads" -name '*-windows.zip' | head -n 1)
[ -n "$zip" ] || fail "no Windows zip was downloaded"
bash "$here/wine_gift.sh" "$zip" "$work/gift-frames" "$work/ours-frames" ||
  fail "the maker's Windows zip under Wine (above)"
say "all passed"
