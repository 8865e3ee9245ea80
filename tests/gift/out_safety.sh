#!/usr/bin/env bash
# What `make gift` may do to the folder it is told to fill, in seconds and
# without building anything:
#  - an OUT of the person's own files, the PHOTOS folder, the WORDS file, the
#    home folder (OUT=~), the folder holding the checkout, `..`, `/` and the
#    checkout's own docs/, .git/ and assets/ are each refused before any work,
#    with status 1, a line naming OUT, and every file as it was; a new folder
#    such as assets2 or builds-for-mira, an empty folder and a previous gift
#    are taken;
#  - a quote, a dollar, a backtick, spaces and Cyrillic letters in the paths
#    given to make gift arrive as given and run nothing;
#  - an interrupt (INT, TERM, HUP) at each step of putting a gift in place
#    leaves a whole gift in OUT, the previous one or the new one, and nothing
#    beside it; after a KILL, the next gift there puts things right;
#  - a gift gets the person's umask.
# The refusals run in a throw-away copy of the checkout whose set-up and cmake
# only note that work began, so that a refusal that came too late could reach
# nothing outside it.
#
#   tests/gift/out_safety.sh      (from the repository root; a few seconds)
source "$(dirname "$0")/lib.sh"
# Every path under a folder (or a file) with its type, mode and content.
tree_sum() {
  (cd "$(dirname "$1")" && find "$(basename "$1")" -printf '%y %m %p\n' | sort &&
    find "$(basename "$1")" -type f -print0 | sort -z | xargs -0 -r sha256sum)
}

# --- a throw-away checkout ----------------------------------------------------
checkout=$work/holder/checkout
mkdir -p "$checkout/scripts" "$checkout/docs" "$checkout/assets" "$work/holder/neighbour" "$work/bin"
cp "$root"/scripts/gift*.sh "$root/Makefile" "$checkout/"
mv "$checkout"/gift*.sh "$checkout/scripts/"
started=$work/work-started
for tool in setup.sh cmake; do
  printf '#!/bin/sh\necho %s >>"%s"\nexit 1\n' "$tool" "$started" >"$work/bin/$tool"
  chmod +x "$work/bin/$tool"
done
cp "$work/bin/setup.sh" "$checkout/scripts/setup.sh"
echo "how the show is made" >"$checkout/docs/notes.md"
echo "a picture" >"$checkout/assets/DATA_1.jpg"
echo "read me" >"$checkout/README.md"
echo "the neighbour's thesis" >"$work/holder/neighbour/thesis.txt"
git -C "$checkout" init -q
git -C "$checkout" add -A
export PATH="$work/bin:$PATH"

words=$work/words.txt
echo "For Anna" >"$words"
photos=$work/photos
mkdir "$photos"
echo "not really a photo" >"$photos/1.jpg"
mine=$work/mine
mkdir -p "$mine/sub"
echo "Dear Anna," >"$mine/letter.txt"
echo "first try" >"$mine/sub/draft.txt"
home=$work/home
mkdir -p "$home/Pictures"
echo "export EDITOR=vi" >"$home/.profile"
echo "a photo" >"$home/Pictures/cat.jpg"

# refused NAME EXPECTED GUARDED COMMAND…: COMMAND stops with status 1 before
# any work, saying EXPECTED, and GUARDED is as it was.
refused() {
  local name=$1 expected=$2 guarded=$3 status=0 before
  shift 3
  before=$(tree_sum "$guarded")
  rm -f "$started"
  (cd "$checkout" && "$@") >"$work/log" 2>&1 || status=$?
  # make stops with 2 when its recipe, the script, stops with 1.
  [ "$status" = 1 ] || { [ "$status" = 2 ] && grep -q '] Error 1$' "$work/log"; } ||
    fail "$name: status $status, not 1: $(cat "$work/log")"
  [ ! -e "$started" ] || fail "$name: $(paste -sd, "$started") ran before the refusal"
  grep -qF -- "$expected" "$work/log" || fail "$name: no \"$expected\" in: $(cat "$work/log")"
  [ "$(tree_sum "$guarded")" = "$before" ] || fail "$name: $guarded was changed"
  say "$name: refused before any work, \"$expected\""
}
# taken NAME COMMAND…: COMMAND gets past every check on OUT to the work.
taken() {
  local name=$1
  shift
  rm -f "$started"
  (cd "$checkout" && "$@") >"$work/log" 2>&1 || true
  ! grep -q "OUT=" "$work/log" || fail "$name: refused: $(cat "$work/log")"
  [ -e "$started" ] || fail "$name: did not reach the work: $(cat "$work/log")"
  say "$name: taken"
}
gift() { bash scripts/gift.sh "$words" "$photos" "" "$@"; }

# --- what is not a gift --------------------------------------------------------
refused "a folder of one's own" "OUT=$mine holds files that are not a gift" "$mine" gift "$mine"
refused "the PHOTOS folder" "OUT=$photos is the PHOTOS folder" "$photos" gift "$photos"
refused "inside the PHOTOS folder" "lies inside the PHOTOS folder" "$photos" gift "$photos/gift"
refused "the WORDS file" "OUT=$words is the WORDS file" "$words" gift "$words"
refused "a file" "is a file, not a gift" "$mine" gift "$mine/letter.txt"
# OUT=~ as a shell hands it to make: the home folder's path.
# shellcheck disable=SC2016
refused "OUT=~" "OUT=$home is the home folder" "$home" \
  env HOME="$home" bash -c 'make -s gift WORDS="$1" OUT=~' - "$words"
refused "the folder holding the checkout" "OUT=$work/holder holds the checkout" "$work/holder" \
  gift "$work/holder"
refused "OUT=.." "OUT=.. holds the checkout" "$work/holder" make -s gift WORDS="$words" OUT=..
refused "OUT=/" "OUT=/ is the root of the file system" "$work/holder" gift /
refused "OUT=docs" "OUT=docs is the checkout's own docs" "$checkout" \
  make -s gift WORDS="$words" OUT=docs
refused "OUT=.git" "OUT=.git is the checkout's own .git" "$checkout" \
  make -s gift WORDS="$words" OUT=.git
refused "OUT=assets" "OUT=assets is the checkout's own assets" "$checkout" \
  make -s gift WORDS="$words" OUT=assets
refused "OUT=build-gift" "OUT=build-gift is the checkout's own build-gift" "$checkout" \
  gift build-gift
refused "OUT=docs/mira" "OUT=docs/mira lies inside the checkout's folder docs/" "$checkout" \
  gift docs/mira

taken "OUT=assets2" make -s gift WORDS="$words" OUT=assets2
taken "OUT=builds-for-mira" gift builds-for-mira
taken "the default OUT" make -s gift WORDS="$words"
mkdir "$work/empty"
taken "an empty folder" gift "$work/empty"
mkdir "$work/previous"
echo "made by make gift" >"$work/previous/.velmor-gift"
echo "an old show" >"$work/previous/velmor"
taken "a previous gift" gift "$work/previous"

# --- paths as given ------------------------------------------------------------
# shellcheck disable=SC2016
odd='a "quote" $HOME `touch pwned` and ё'
mkdir "$work/$odd"
echo "Dear Anna," >"$work/$odd/letter.txt"
refused "odd WORDS" "$work/$odd/no words.txt: no such file" "$work/$odd" \
  make -s gift WORDS="$work/$odd/no words.txt"
refused "odd PHOTOS" "$work/$odd/no photos: no such folder" "$work/$odd" \
  make -s gift WORDS="$words" PHOTOS="$work/$odd/no photos"
refused "odd MUSIC" "$work/$odd/no.it: no such file" "$work/$odd" \
  make -s gift WORDS="$words" MUSIC="$work/$odd/no.it"
refused "odd OUT" "holds files that are not a gift" "$work/$odd" \
  make -s gift WORDS="$words" OUT="$work/$odd"
# The line names OUT so that it can be pasted back into a shell.
named=$(sed -n 's/^gift: OUT=\(.*\) holds files that are not a gift.*/\1/p' "$work/log")
[ "$(cd "$work" && eval "printf %s $named")" = "$work/$odd" ] || fail "OUT is named as $named"
[ -z "$(find "$work" "$checkout" -name pwned)" ] || fail "a backtick in a path ran"
say "a quote, a dollar, a backtick and ё in WORDS, PHOTOS, MUSIC and OUT arrive as given"

# --- putting a gift in place ---------------------------------------------------
# The swap as scripts/gift.sh does it, with a stand-in for the build.
cat >"$work/place.sh" <<'EOF'
set -euo pipefail
source "$1/scripts/gift-out.sh"
gift_out_begin "$2"
mkdir "$gift_part/images"
echo "$3" >"$gift_part/velmor"
echo "$3" >"$gift_part/images/DATA_1.jpg"
gift_out_finish
EOF
place() { bash "$work/place.sh" "$root" "$@"; }
place "$work/old" old
place "$work/new" new
# A gift in place, whole: the one named by $2 ("old" or "new"), nothing else.
whole() {
  local name=$1 expected=$2 parent
  [ -d "$work/place/out" ] || fail "$name: no OUT"
  [ "$(tree_sum "$work/place/out")" = "$(tree_sum "$work/$expected" | sed "s|$expected|out|")" ] ||
    fail "$name: OUT is not the $expected gift, whole: $(tree_sum "$work/place/out")"
  parent=$(ls -A "$work/place")
  [ "$parent" = out ] || fail "$name: left beside OUT: $(echo "$parent" | grep -vx out | paste -sd' ')"
}
declare -A number=([INT]=2 [HUP]=1 [TERM]=15 [KILL]=9)
# A shell cannot catch a signal it was started ignoring (a run under nohup
# ignores HUP, a background job INT), so the stand-in starts with each at
# its default, as a gift made at a terminal does.
stop() { # stop EXCHANGE STEP SIGNAL: places the new gift, stopped there
  local status=0
  VELMOR_GIFT_EXCHANGE=$1 VELMOR_GIFT_INTERRUPT=$2:$3 env --default-signal=INT,TERM,HUP \
    bash "$work/place.sh" "$root" "$work/place/out" new 2>"$work/log" || status=$?
  [ "$status" = $((128 + number[$3])) ] ||
    fail "exchange=$1, SIG$3 at $2: status $status: $(cat "$work/log")"
  [ "$3" = KILL ] || grep -q "^gift: stopped by SIG$3" "$work/log" ||
    fail "exchange=$1, SIG$3 at $2: nothing says it stopped: $(cat "$work/log")"
}
for exchange in yes no; do
  steps=(ready swapped cleaned)
  [ "$exchange" = yes ] || steps=(ready moved-aside swapped cleaned)
  for step in "${steps[@]}"; do
    case $step in
      ready | moved-aside) expected=old ;;
      *) expected=new ;;
    esac
    for signal in INT TERM HUP; do
      rm -rf "$work/place" && mkdir "$work/place" && cp -a "$work/old" "$work/place/out"
      stop "$exchange" "$step" "$signal"
      whole "exchange=$exchange, SIG$signal at $step" "$expected"
    done
    # A KILL cannot be caught: the next gift there restores and cleans
    # (stopped itself before its own swap, so what it found stays).
    rm -rf "$work/place" && mkdir "$work/place" && cp -a "$work/old" "$work/place/out"
    stop "$exchange" "$step" KILL
    stop "$exchange" ready TERM
    whole "exchange=$exchange, SIGKILL at $step, then another gift" "$expected"
  done
  say "exchange=$exchange: SIGINT, SIGTERM, SIGHUP at each of ${steps[*]}, and SIGKILL, leave one whole gift"
done
for signal in INT TERM HUP; do
  rm -rf "$work/place" && mkdir "$work/place"
  stop yes ready "$signal"
  [ -z "$(ls -A "$work/place")" ] || fail "SIG$signal before a first gift: left $(ls -A "$work/place")"
  stop yes placed "$signal"
  whole "SIG$signal after placing a first gift" new
done
say "a first gift stopped before it is placed leaves nothing; after, the whole gift"

# --- permissions -----------------------------------------------------------------
for mask in 022 027 002; do
  rm -rf "$work/place"
  (umask "$mask" && place "$work/place/out" new)
  mode=$(stat -c %a "$work/place/out")
  [ "$mode" = "$(printf %o $((0777 & ~0$mask)))" ] || fail "umask $mask gives a gift of mode $mode"
done
say "a gift's folder gets the umask's permissions"

for left in gift-for-mira/.gift-for-mira.part-Ab12Cd .gift.old-Ab12Cd; do
  git -C "$root" check-ignore -q "$left" || fail "git does not ignore $left, left by a stopped gift"
done
say "all passed"
