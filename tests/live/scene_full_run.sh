# The whole show in real time: every card on its row, the end when the module
# comes back to order 0, a two-second fade, status 0.
source "$(dirname "$0")/lib.sh"
PROBE="$2"
ENVELOPE="$3"
start_x 800x600
export SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$WORK/audio.raw"

# Order and first row of each step's position, steps 0 to 40 (row "-": the
# order's first row the show reaches). A step must be taken by the first frame
# that reaches its position: the frame before it stood short of it. How late
# that frame comes depends on the machine's load, not on the show.
expected=(0:63 0:127 0:191 1:- 1:63 1:127 1:191 2:- 2:63 2:127 2:191 3:- 3:63 3:127 3:191
  4:- 4:63 4:127 4:191 5:- 5:63 5:127 5:191 6:- 6:63 6:127 6:191 7:- 7:63 7:127
  8:- 8:63 8:127 8:191 9:- 9:63 9:127 9:191 10:127 11:- 11:127)

began=$(date +%s.%N)
"$PROBE" >"$WORK/stdout" 2>"$WORK/stderr" &
APP=$!
PIDS+=($APP)
finish "$APP" 260
ended=$(date +%s.%N)
[ "$STATUS" = 0 ] || fail "exit status $STATUS: $(tail -5 "$WORK/stderr")"

mapfile -t steps < <(grep '^probe: step' "$WORK/stderr")
[ ${#steps[@]} = 41 ] || fail "${#steps[@]} steps instead of 41: $(grep probe "$WORK/stderr")"
for i in $(seq 0 40); do
  read -r _ _ step _ card _ _ order _ row _ _ before_order _ before_row <<<"${steps[$i]}"
  [ "$step" = "$i" ] || fail "step $i came as step $step"
  want_card=$i; [ "$i" = 40 ] && want_card=-1
  [ "$card" = "$want_card" ] || fail "step $i revealed card $card"
  want_order=${expected[$i]%%:*}
  want_row=${expected[$i]##*:}
  [ "$want_row" = "-" ] && want_row=0
  [ "$order" = "$want_order" ] || fail "step $i at order $order, expected $want_order"
  [ "$row" -ge "$want_row" ] || fail "step $i early, at row $row, expected $want_row"
  # Positions as order * 256 + row: no order of this module has that many rows.
  [ $((before_order * 256 + before_row)) -lt $((want_order * 256 + want_row)) ] ||
    fail "step $i late: the frame at order $before_order row $before_row did not take it"
done
grep -q '^probe: fade 2000 ms at order 0 ' "$WORK/stderr" || fail "no end fade at order 0"

seconds=$(awk -v a="$ended" -v b="$began" 'BEGIN { printf "%.2f", a - b }')
"$ENVELOPE" "$WORK/audio.raw" 2.5 >"$WORK/envelope"
heard=$(awk 'NR == 1 { print $2 }' "$WORK/envelope")
# The module lasts 199.68 s and the fade adds 2 s, with the moments of start-up
# before the music begins. What the device was given is exact; the wall clock
# only shows the show is paced in real time: SDL's disk driver paces itself by
# sleeping, a few per cent fast on an idle machine and slow on a busy one.
awk -v s="$heard" 'BEGIN { exit !(s >= 201.0 && s <= 206.0) }' || fail "played $heard s of sound"
awk -v s="$seconds" 'BEGIN { exit !(s >= 185.0 && s <= 240.0) }' || fail "ran $seconds s"

# The fade begins as the module starts over: audible, then falling from its
# loudest quarter second on, and all but silent at its end. The output stops
# when the fade's two seconds are up by the wall clock; a disk driver that
# runs slow has by then handed over less (on a loaded machine, 1.75 s of the
# two), so the last quarter second may hold the fade's tail: the volume falls
# in a straight line, a quarter of it left three quarters of the way through,
# so at least 12 dB down.
awk 'NR > 1 { level[NR] = $2 } END {
  n = NR; top = 2; for (i = 2; i <= n; i++) if (level[i] > level[top]) top = i;
  if (level[top] < -50) exit 1; if (level[n] > level[top] - 12) exit 2;
  for (i = top + 1; i <= n; i++) if (level[i] > level[i-1] + 3) exit 3 }' "$WORK/envelope" ||
  fail "the music does not fade out: $(cat "$WORK/envelope")"
echo "scene_full_run: 41 steps on their rows, end at order 0 with a 2 s fade, $heard s of sound in $seconds s, exit 0"
