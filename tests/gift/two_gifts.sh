#!/usr/bin/env bash
# Two gifts started at once from one checkout, one by `make gift` with a
# quote, a dollar, a backtick, spaces and Cyrillic letters in every path, the
# other by the script into an empty folder: each OUT holds its own words and
# photos (its 45 pictures are those its inputs give alone, and its pack
# carries them), the second said it waited for the first, the "done" lines
# name OUT so that they paste back, and no backtick ran.
#
#   tests/gift/two_gifts.sh      (from the repository root; a minute or two)
source "$(dirname "$0")/lib.sh"
cd "$root"

# shellcheck disable=SC2016
odd=$work/'for "Anna" $HOME `touch pwned` ё'
mkdir -p "$odd/photos" "$work/b/photos" "$work/b/out"
words() { # words NAME: ten two-line cards, the first naming NAME
  for ((card = 1; card <= 10; ++card)); do
    [ "$card" = 1 ] || echo
    if [ "$card" = 1 ]; then echo "For $1"; else echo "Card $card"; fi
    echo "с любовью"
  done
}
words Anna >"$odd/words.txt"
words Boris >"$work/b/words.txt"
convert -size 700x500 xc:'#d02818' "$odd/photos/1.jpg"
convert -size 400x400 xc:'#2040e0' "$work/b/photos/1.png"

out_a=$odd/gift
out_b=$work/b/out
started() { # started NAME COMMAND…: runs COMMAND in the background, noting its status
  local name=$1
  shift
  (
    status=0
    "$@" >"$work/$name.log" 2>&1 || status=$?
    echo "$status" >"$work/$name.status"
  ) &
}
started a make -s gift WORDS="$odd/words.txt" PHOTOS="$odd/photos" OUT="$out_a"
started b bash scripts/gift.sh "$work/b/words.txt" "$work/b/photos" "" "$out_b"
wait
for gift in a b; do
  [ "$(cat "$work/$gift.status")" = 0 ] || fail "gift $gift failed: $(tail -5 "$work/$gift.log")"
done
waited=$(grep -l "waiting for another gift being made in this checkout" "$work"/[ab].log | wc -l)
[ "$waited" = 1 ] || fail "$waited gifts said they waited for the other"
say "both gifts made, one after the other: $(tail -qn1 "$work"/[ab].log | cut -c1-60 | paste -sd'|')"

# Each gift against the pictures its own inputs give alone, and its pack
# against its pictures and the other's.
artwork=build/tools/artwork/velmor-artwork
"$artwork" --words "$odd/words.txt" --photos "$odd/photos" "$work/a.images" >"$work/artwork.log" 2>&1 &&
  "$artwork" --words "$work/b/words.txt" --photos "$work/b/photos" "$work/b.images" >"$work/artwork.log" 2>&1 ||
  fail "the pictures of one gift's inputs alone: $(cat "$work/artwork.log")"
carries() { # carries PACK PICTURE: the bytes of PICTURE are inside PACK
  python3 -c "import sys; sys.exit(open(sys.argv[2], 'rb').read() not in open(sys.argv[1], 'rb').read())" "$@"
}
for gift in a b; do
  out=$out_a other=b
  [ "$gift" = a ] || out=$out_b other=a
  # The generator's list of cards for the preview sheet stays out of the gift.
  diff -r -x .cards.tsv "$out/images" "$work/$gift.images" >/dev/null ||
    fail "gift $gift's pictures are not those of its own words and photos"
  for picture in DATA_1.jpg DATA_8.jpg; do
    carries "$out/gift.pack" "$work/$gift.images/$picture" || fail "gift $gift's pack lacks its own $picture"
    ! carries "$out/gift.pack" "$work/$other.images/$picture" || fail "gift $gift's pack has $other's $picture"
  done
  [ -f "$out/.velmor-gift" ] || fail "gift $gift is not marked as a gift"
  # The done line names OUT as a shell reads it back.
  named=$(sed -n 's/^gift: done in [0-9]* s: \(.*\) (cd .*/\1/p' "$work/$gift.log")
  [ "$(cd "$work" && eval "printf %s $named")" = "$out" ] || fail "gift $gift's done line names $named"
done
say "each gift holds its own words and photos, in its pictures and in its pack"
[ -z "$(find "$work" "$root" -maxdepth 1 -name pwned)" ] || fail "a backtick in a path ran"
say "all passed"
