#!/usr/bin/env bash
# Usage: contact_sheet.sh OUTPNG [IMAGEDIR]
# Lays out every picture in IMAGEDIR (default: assets/images) on one labelled sheet, so the
# whole set can be judged at a glance.
set -euo pipefail
out=${1:?usage: contact_sheet.sh OUTPNG [IMAGEDIR]}
out=$(realpath -m -- "$out")
here=$(cd "$(dirname "$0")/../.." && pwd)
dir=${2:-$here/assets/images}

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
# Flatten each picture first: the 32-bit glyph sheet has an all-zero alpha channel, which
# would otherwise make it invisible; the 32x32 particle is enlarged without smoothing.
mapfile -t files < <(cd "$dir" && ls -- *.jpg *.tga | sort -V)
for f in "${files[@]}"; do
  name=${f%.*}
  convert "$dir/$f" -auto-orient -alpha off -filter point -resize 256x256 "$tmp/$name.png"
done
cd "$tmp"
montage -label '%t' -font DejaVu-Sans -pointsize 11 -fill white -background '#202028' \
  -tile 9x -geometry 160x160+4+4 $(for f in "${files[@]}"; do echo "${f%.*}.png"; done) \
  "$tmp/sheet.png"
# A 256-colour palette keeps the sheet a few hundred kilobytes; at thumbnail size the
# difference does not show.
convert "$tmp/sheet.png" -colors 256 "PNG8:$out"
