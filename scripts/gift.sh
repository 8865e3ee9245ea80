#!/usr/bin/env bash
# Builds the intro as someone's own gift: their words on the text cards, their
# photos on the picture cards, their module as the music.
#
#   scripts/gift.sh WORDS [PHOTOS] [MUSIC] [OUT] [TARGETS]
#
# (make gift WORDS=… PHOTOS=… MUSIC=… OUT=… TARGETS=… calls it.) Everything is
# checked before anything is built; everything is built into a folder beside
# OUT, which takes OUT's place only when complete, so a refusal or a failure
# leaves OUT as it was. The repository's own pictures and module are only read.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
words=${1:-}
photos=${2:-}
music=${3:-}
out=${4:-gift}
targets=${5:-}
jobs=$(nproc 2>/dev/null || echo 2)

say() { echo "gift: $*" >&2; }
refuse() {
  say "$*"
  say "nothing was written to $out/"
  exit 1
}

[ -n "$words" ] || refuse "no words: make gift WORDS=FILE [PHOTOS=FOLDER] [MUSIC=FILE.it] [OUT=FOLDER]" \
  "(examples/words.txt shows the form)"
[ -f "$words" ] || refuse "$words: no such file (WORDS= names the text of the cards)"
[ -z "$photos" ] || [ -d "$photos" ] || refuse "$photos: no such folder (PHOTOS= names a folder of JPEG or PNG pictures)"
[ -z "$music" ] || [ -f "$music" ] || refuse "$music: no such file (MUSIC= names an Impulse Tracker module)"
want_web=0
want_windows=0
for target in ${targets//,/ }; do
  case "$target" in
    web) want_web=1 ;;
    windows) want_windows=1 ;;
    *) refuse "TARGETS=$targets: \"$target\" is not one of web, windows" ;;
  esac
done
case "$(realpath -m -- "$out")" in
  "$root" | "$root/assets"* | "$root/build"* | "$root/scripts"*)
    refuse "OUT=$out is one of the repository's own folders; name a new one" ;;
esac

started=$(date +%s.%N)
# The tools, from the normal build.
say "building the tools"
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$root/build" -j"$jobs" --target velmor-artwork velmor-module >/dev/null
tools=$root/build/tools

module=$root/torva_velmor2.it
if [ -n "$music" ]; then
  say "checking that $music fits the show"
  "$tools/module/velmor-module" --check "$music" >/dev/null || refuse "$music does not fit the show"
  module=$(realpath -- "$music")
fi

# The pictures go to a fixed place inside the gift's own build, so that a
# second gift rebuilds only what its pictures change.
gift_build=$root/build-gift
images=$gift_build/images
say "making the 45 pictures"
photo_args=()
[ -z "$photos" ] || photo_args=(--photos "$photos")
"$tools/artwork/velmor-artwork" --words "$words" "${photo_args[@]}" "$images" ||
  refuse "the words or photos were refused (see above)"

parent=$(dirname -- "$(realpath -m -- "$out")")
mkdir -p "$parent"
part=$(mktemp -d "$parent/.$(basename -- "$out").part-XXXXXX")
trap 'rm -rf "$part"' EXIT

say "building the intro with them"
cmake -S "$root" -B "$gift_build/native" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVELMOR_IMAGES="$images" -DVELMOR_MODULE="$module" >/dev/null
cmake --build "$gift_build/native" -j"$jobs" --target velmor velmor-capture >/dev/null
mkdir "$part/images"
cp "$images"/* "$part/images/"
cp "$gift_build/native/velmor" "$gift_build/native/velmor-capture" "$part/"
cp "$module" "$part/torva_velmor2.it"

say "drawing the preview sheet"
bash "$root/tools/artwork/contact_sheet.sh" "$part/preview.png" "$part/images" "$images/.cards.tsv"

if [ "$want_web" = 1 ]; then
  say "building the browser page"
  bash "$root/scripts/setup.sh" --web
  deps=$(NODE_PATH=/usr/share/nodejs bash "$root/scripts/third-party.sh" web)
  NODE_PATH=/usr/share/nodejs emcmake cmake -S "$root" -B "$gift_build/emscripten" \
    -DCMAKE_BUILD_TYPE=Release -DVELMOR_DEPS="$deps" -DVELMOR_IMAGES="$images" \
    -DVELMOR_MODULE="$module" -DVELMOR_WEB_PAGE="$part/web" >/dev/null
  NODE_PATH=/usr/share/nodejs cmake --build "$gift_build/emscripten" -j"$jobs" >/dev/null
fi
if [ "$want_windows" = 1 ]; then
  say "building the Windows program"
  bash "$root/scripts/setup.sh" --windows
  deps=$(bash "$root/scripts/third-party.sh" windows)
  cmake -S "$root" -B "$gift_build/windows" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DVELMOR_DEPS="$deps" -DVELMOR_IMAGES="$images" \
    -DVELMOR_MODULE="$module" >/dev/null
  cmake --build "$gift_build/windows" -j"$jobs" >/dev/null
  cp "$gift_build/windows/velmor-for-torva.zip" "$part/"
fi

# OUT is replaced only now, whole.
if [ -e "$out" ]; then
  old=$(mktemp -d "$parent/.$(basename -- "$out").old-XXXXXX")
  mv -- "$out" "$old/"
  mv -- "$part" "$out"
  rm -rf -- "$old"
else
  mv -- "$part" "$out"
fi
trap - EXIT
seconds=$(python3 -c "print(round($(date +%s.%N) - $started))")
say "done in $seconds s: $out/ (cd $out && ./velmor plays it; ./velmor-capture -o gift.mp4 films it;" \
  "$out/preview.png shows every picture)"
