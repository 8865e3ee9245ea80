#!/usr/bin/env bash
# run_fuzzer.sh BINARY NAME SECONDS WORKDIR
# Replays every committed regression input of fuzzer NAME, then fuzzes for
# SECONDS from seeds made from our own pictures and music, and prints one line
# with executions, executions per second and coverage. Fails on any crash,
# leak, undefined behaviour or broken check; the input that did it is kept in
# WORKDIR/NAME/artifacts/.
set -euo pipefail
binary=$1 name=$2 seconds=$3 work=$4
root=$(cd "$(dirname "$0")/.." && pwd)
dir=$work/$name
seeds=$dir/seeds corpus=$dir/corpus artifacts=$dir/artifacts log=$dir/fuzz.log
rm -rf "$seeds"
mkdir -p "$seeds" "$corpus" "$artifacts"

# Seeds are made afresh from the files they come from, so they never go stale.
shopt -s nullglob
extra=()
case $name in
  tga) for f in "$root"/assets/images/*.tga; do cp "$f" "$seeds/"; done ;;
  jpeg) for f in "$root"/assets/images/*.jpg; do cp "$f" "$seeds/"; done ;;
  resource)
    i=0
    for f in "$root"/assets/images/*.jpg "$root"/assets/images/*.tga; do
      base=$(basename "$f") stem=${base%.*} ext=${base##*.}
      printf '%b%s\0%s' "\\x$(printf %02x $((i % 5)))" "${ext^^}" "$stem" >"$seeds/$stem"
      i=$((i + 1))
    done ;;
  # The whole module takes a fifth of a second per run; the fuzzer works on
  # its first 64 kB (header, orders, instrument and pattern tables, the first
  # samples), which libopenmpt loads as a module cut short.
  module) [ -f "$root/torva_velmor2.it" ] && cp "$root/torva_velmor2.it" "$seeds/"
    extra=(-max_len=65536) ;;
  # Packs of our own pictures are megabytes; the small ones under corpus/
  # hold every field the reader checks.
  pack) extra=(-max_len=8192) ;;
  *) echo "run_fuzzer: unknown fuzzer $name" >&2; exit 2 ;;
esac
for f in "$root"/fuzz/corpus/"$name"/*; do cp "$f" "$seeds/"; done

# Leaks of the libraries we do not build are listed, with reasons, in one file.
export LSAN_OPTIONS="suppressions=$root/tests/lsan.supp:print_suppressions=0${LSAN_OPTIONS:+:$LSAN_OPTIONS}"

# Every input that once broke something must keep passing.
regressions=("$root"/fuzz/regressions/"$name"/*)
if [ ${#regressions[@]} -gt 0 ]; then
  if ! "$binary" -timeout=60 "${regressions[@]}" >"$dir/regressions.log" 2>&1; then
    tail -n 60 "$dir/regressions.log" >&2
    echo "run_fuzzer: $name fails on a committed regression input" >&2
    exit 1
  fi
  echo "fuzz $name: ${#regressions[@]} regression inputs pass"
fi

status=0
timeout $((seconds + 300)) "$binary" -max_total_time="$seconds" -print_final_stats=1 \
  -timeout=30 -rss_limit_mb=3072 -artifact_prefix="$artifacts/" ${extra[@]+"${extra[@]}"} \
  "$corpus" "$seeds" \
  >"$log" 2>&1 || status=$?
if [ $status -ne 0 ]; then
  grep -v "^velmor: cannot load the music" "$log" | tail -n 80 >&2
  echo "run_fuzzer: $name failed (status $status); inputs kept in $artifacts" >&2
  exit 1
fi

runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
cov=$(grep -o 'cov: [0-9]*' "$log" | tail -n 1 | cut -d' ' -f2)
ft=$(grep -o 'ft: [0-9]*' "$log" | tail -n 1 | cut -d' ' -f2)
units=$(find "$corpus" -type f | wc -l)
echo "fuzz $name: ${runs:-?} executions in ${seconds} s, ${rate:-?} exec/s," \
  "coverage ${cov:-?} edges, ${ft:-?} features, corpus $units inputs"
