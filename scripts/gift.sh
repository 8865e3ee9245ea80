#!/usr/bin/env bash
# Makes the intro someone's own gift: their words on the text cards, their
# photos on the picture cards, their module as the music. Nothing is compiled
# for a gift: the pictures are made and packed into gift.pack, which the
# programs of the normal builds read from the folder they start in, and the
# browser page beside it or inside its one HTML file.
#
#   scripts/gift.sh WORDS [PHOTOS] [MUSIC] [OUT] [TARGETS]
#
# or, with no arguments, from the variables WORDS, PHOTOS, MUSIC, OUT and
# TARGETS of its environment: that is how make gift WORDS=… passes them, so
# that no quote, dollar or backtick in a path is read by a shell. TARGETS is
# a list of web, windows and html, split by commas or spaces. Everything
# is checked before anything is built, OUT first: it may hold only a previous
# gift (scripts/gift-out.sh says how one is known and replaced). Everything is
# built into a folder beside OUT, which takes OUT's place only when complete,
# so a refusal, a failure or an interrupt leaves OUT as it was. The
# repository's own pictures and module are only read.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd -P)
source "$root/scripts/gift-out.sh"
if [ $# -gt 0 ]; then
  words=$1 photos=${2:-} music=${3:-} out=${4:-} targets=${5:-}
else
  words=${WORDS:-} photos=${PHOTOS:-} music=${MUSIC:-} out=${OUT:-} targets=${TARGETS:-}
fi
out=${out:-gift}

say() { echo "gift: $*" >&2; }
refuse() {
  say "$*"
  say "nothing was written to $(quoted "$out")"
  exit 1
}

[ -n "$words" ] || refuse "no words: make gift WORDS=FILE [PHOTOS=FOLDER] [MUSIC=FILE.it] [OUT=FOLDER]" \
  "(examples/words.txt shows the form)"
[ -f "$words" ] || refuse "$words: no such file (WORDS= names the text of the cards)"
[ -z "$photos" ] || [ -d "$photos" ] || refuse "$photos: no such folder (PHOTOS= names a folder of JPEG or PNG pictures)"
[ -z "$music" ] || [ -f "$music" ] || refuse "$music: no such file (MUSIC= names an Impulse Tracker module)"
want_web=0
want_windows=0
want_html=0
for target in ${targets//,/ }; do
  case "$target" in
    web) want_web=1 ;;
    windows) want_windows=1 ;;
    html) want_html=1 ;;
    *) refuse "TARGETS=$targets: \"$target\" is not one of web, windows, html" ;;
  esac
done
why=$(gift_out_refusal "$root" "$out" "$words" "$photos" "$music")
[ -z "$why" ] || refuse "$why"

bash "$root/scripts/setup.sh" --tests
# One gift at a time per checkout: they share the folder below, where the
# pictures and the module are made.
gift_build=$root/build-gift
mkdir -p "$gift_build"
exec {lock}>"$gift_build/lock"
if ! flock -n "$lock"; then
  say "waiting for another gift being made in this checkout"
  flock "$lock"
fi

started=$(date +%s.%N)
# The tools and the programs, from the normal build: built once for every gift.
say "building the tools and the intro"
bash "$root/scripts/build.sh" default velmor-artwork velmor-module velmor-pack velmor \
  velmor-capture >/dev/null
tools=$root/build/tools

if [ -n "$music" ]; then
  say "checking that $music fits the show"
  "$tools/module/velmor-module" --check "$music" >/dev/null || refuse "$music does not fit the show"
fi
# The module and the pictures go to fixed places inside the gift's own build,
# so that a second gift rebuilds only what they change, and so that the
# builds below never see a path as it was given.
module=$gift_build/torva_velmor2.it
cmp -s -- "${music:-$root/torva_velmor2.it}" "$module" || cp -- "${music:-$root/torva_velmor2.it}" "$module"
images=$gift_build/images
say "making the 45 pictures"
photo_args=()
[ -z "$photos" ] || photo_args=(--photos "$photos")
"$tools/artwork/velmor-artwork" --words "$words" "${photo_args[@]}" "$images" ||
  refuse "the words or photos were refused (see above)"

gift_out_begin "$out"
part=$gift_part

say "packing them"
"$tools/pack/velmor-pack" "$images" "$part/gift.pack" >/dev/null
mkdir "$part/images"
cp "$images"/* "$part/images/"
cp "$root/build/velmor" "$root/build/velmor-capture" "$part/"
cp "$module" "$part/torva_velmor2.it"

say "drawing the preview sheet"
bash "$root/tools/artwork/contact_sheet.sh" "$part/preview.png" "$part/images" "$images/.cards.tsv"

if [ "$want_web" = 1 ] || [ "$want_html" = 1 ]; then
  # The page of `make web`, built once for every gift.
  say "building the browser page"
  bash "$root/scripts/setup.sh" --web
  bash "$root/scripts/build.sh" web >/dev/null
fi
if [ "$want_web" = 1 ]; then
  # The page with the gift's pack and module beside it, for a static host.
  cp -R "$root/build-web" "$part/web"
  cp "$module" "$part/web/torva_velmor2.it"
  cp "$part/gift.pack" "$part/web/gift.pack"
fi
if [ "$want_html" = 1 ]; then
  # The page, the pack and the module in one file, named by the dedication.
  say "making the one HTML file"
  node "$root/tools/web/make_one_file.mjs" "$root/build-web" "$part" --pack "$part/gift.pack" \
    --module "$module" --words "$words" >/dev/null
  html=$(cd "$part" && echo velmor-for-*.html)
fi
if [ "$want_windows" = 1 ]; then
  # The zip of `make windows` with the gift's module in place of ours and its
  # pack beside the program.
  say "building the Windows zip"
  bash "$root/scripts/setup.sh" --windows
  bash "$root/scripts/build.sh" windows velmor_zip >/dev/null
  zipped=$gift_build/windows-zip
  rm -rf "$zipped"
  mkdir -p "$zipped"
  cp -R "$root/build-win/velmor-for-torva" "$zipped/"
  cp "$module" "$zipped/velmor-for-torva/torva_velmor2.it"
  cp "$part/gift.pack" "$zipped/velmor-for-torva/gift.pack"
  (cd "$zipped" && cmake -E tar cf velmor-for-torva.zip --format=zip velmor-for-torva)
  cp "$zipped/velmor-for-torva.zip" "$part/"
fi

# OUT is replaced only now, and only if it still holds nothing but a gift.
why=$(gift_out_refusal "$root" "$out" "$words" "$photos" "$music")
[ -z "$why" ] || refuse "$why"
gift_out_finish
seconds=$(python3 -c "print(round($(date +%s.%N) - $started))")
shown=$(quoted "$out")
[ "$want_html" = 0 ] || say "$(quoted "$out/$html") plays opened in a browser: the one file to give"
say "done in $seconds s: $shown (cd $shown && ./velmor plays it; ./velmor-capture -o gift.mp4 films it;" \
  "$shown/preview.png shows every picture)"
