#!/usr/bin/env bash
# Usage: contact_sheet.sh OUTPNG [IMAGEDIR [LIST]]
# Lays out every picture in IMAGEDIR (default: assets/images) on one labelled sheet, so the
# whole set can be judged at a glance: by name, or, given LIST (the .cards.tsv velmor-artwork
# writes beside a person's pictures: FILE<tab>LABEL a line), in its order with its labels, so
# that a gift's sheet reads as its show: each card in turn, and the photo it shows.
set -euo pipefail
out=${1:?usage: contact_sheet.sh OUTPNG [IMAGEDIR [LIST]]}
out=$(realpath -m -- "$out")
here=$(cd "$(dirname "$0")/../.." && pwd)
dir=${2:-$here/assets/images}
list=${3:-}

files=()
labels=()
if [ -n "$list" ]; then
  while IFS=$'\t' read -r file label; do
    [ -f "$dir/$file" ] || {
      echo "contact_sheet.sh: $list names $file, which is not in $dir" >&2
      exit 1
    }
    files+=("$file")
    labels+=("$label")
  done <"$list"
  columns=8 # the forty cards in five rows, the other pictures below them
else
  mapfile -t files < <(cd "$dir" && ls -- *.jpg *.tga | sort -V)
  labels=("${files[@]%.*}")
  columns=9
fi
[ "${#files[@]}" -gt 0 ] || {
  echo "contact_sheet.sh: no pictures in $dir" >&2
  exit 1
}

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
# Flatten each picture first: the 32-bit glyph sheet has an all-zero alpha channel, which
# would otherwise make it invisible; the 32x32 particle is enlarged without smoothing.
args=()
for i in "${!files[@]}"; do
  convert "$dir/${files[$i]}" -auto-orient -alpha off -filter point -resize 256x256 "$tmp/$i.png"
  # A label is text to montage, not a format or a file to read: '%', '\' and a leading '@'
  # stand for themselves.
  label=${labels[$i]//\\/\\\\}
  label=${label//%/%%}
  [ "${label:0:1}" != @ ] || label=\\$label
  args+=(-label "$label" "$tmp/$i.png")
done
cd "$tmp"
montage "${args[@]}" -font DejaVu-Sans -pointsize 11 -fill white -background '#202028' \
  -tile "${columns}x" -geometry 160x160+4+4 "$tmp/sheet.png"
# A 256-colour palette keeps the sheet a few hundred kilobytes; at thumbnail size the
# difference does not show.
convert "$tmp/sheet.png" -colors 256 "PNG8:$out"
