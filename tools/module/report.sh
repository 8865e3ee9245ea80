#!/usr/bin/env bash
# Renders the music module offline and writes a text report and a spectrogram.
# usage: report.sh OUTDIR [MODULE]
# The renderer comes from $VELMOR_MODULE_RENDER, else from build/tools/module/.
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
outdir=${1:?usage: report.sh OUTDIR [MODULE]}
module=${2:-$root/torva_velmor2.it}
render=${VELMOR_MODULE_RENDER:-$root/build/tools/module/velmor-module-render}

[ -x "$render" ] || { echo "report.sh: renderer not built: $render" >&2; exit 1; }
command -v sox >/dev/null || { echo "report.sh: sox is needed for the spectrogram" >&2; exit 1; }
mkdir -p "$outdir"
wav=$(mktemp --suffix=.wav)
trap 'rm -f "$wav"' EXIT

"$render" "$module" "$wav" >"$outdir/module_report.txt"
# Mono, up to 11 kHz, so the bass, the kick's 258 Hz thump and the melody stay legible.
sox "$wav" -n remix - rate 22050 spectrogram -x 1200 -y 400 -z 90 \
  -t "$(basename "$module")" -c "mono mix, 0-11 kHz; 13 orders of 15.36 s" \
  -o "$outdir/module_sonogram.png"
cat "$outdir/module_report.txt"
