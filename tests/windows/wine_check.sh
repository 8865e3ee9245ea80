#!/usr/bin/env bash
# The Windows build as a viewer meets it, under Wine in a virtual X server:
#  - velmor.exe imports system DLLs only; its resources (the pictures, the
#    icon, the version) are all English (Canada), 0x1009; the zip's licences
#    are text files;
#  - on an 800x600 screen with a real-time sound device (a PulseAudio null
#    sink): one 800x600 window titled "Velmor for Torva" and no box, dark from
#    the first look, the first card on the screen, the full-screen toggle
#    (message 1025, posted by velmor-toggle.exe) re-creating the window while
#    the show goes on, and Escape ending it with status 0 within 1.6 s;
#  - the music recorded from the sink for SOUND_SECONDS (default 35) with two
#    busy loops beside the intro: its drop-outs (20 ms or more of digital
#    silence between its first and last sound that the music itself, as the
#    capture tool renders it, does not have) counted, at least half of it
#    heard, and the program's own queue never run dry;
#  - on a 1024x768 screen: the box saying the mode switch failed, then a
#    window whose inside, the picture, is 800x600;
#  - with no sound device: the box "Cannot open the audio device.", status 1;
#  - without the module beside it: the background until Escape, status 1,
#    as on every other platform (the show did not play); started as Explorer
#    starts it, with no standard error, the player's line is shown in a box;
#  - a gift.pack beside it that is no pack, started as Explorer starts it:
#    the box naming the file and what is wrong, then the end, status 1,
#    without the show.
#
#   tests/windows/wine_check.sh BUILD_WIN BARE_FRAME.png MUSIC.wav [SCREENSHOT.png]
#
# BARE_FRAME.png is the capture tool's frame at 0.5 s, before any card; the
# screen with the first card must differ from it. MUSIC.wav is the capture
# tool's audio of the whole show, which tells the music's own rests.
# SCREENSHOT.png, when given, keeps that screen. About two minutes. SOUND_SECONDS=210 records the whole
# show instead (it then ends by itself); SOUND_SECONDS=0 leaves the music
# out.
set -euo pipefail

usage="usage: wine_check.sh BUILD_WIN BARE_FRAME.png MUSIC.wav [SCREENSHOT.png]"
build=${1:?$usage}
bare=${2:?$usage}
music=$(realpath "${3:?$usage}")
keep=${4:-}
here=$(cd "$(dirname "$0")" && pwd)
given=$(cd "$build/velmor-for-torva" && pwd)
toggle=$(cd "$build" && pwd)/velmor-toggle.exe
client_size=$(cd "$build" && pwd)/velmor-client-size.exe
zip=$(cd "$build" && pwd)/velmor-for-torva.zip
sound_seconds=${SOUND_SECONDS:-35}
for tool in wine Xvfb xdotool pulseaudio parec import python3 x86_64-w64-mingw32-objdump \
  x86_64-w64-mingw32-windres; do
  command -v "$tool" >/dev/null || { echo "wine_check: $tool not found" >&2; exit 1; }
done

work=$(mktemp -d)
pids=()
cleanup() {
  WINEPREFIX=$work/prefix wineserver -k 2>/dev/null || true
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "wine_check: FAIL: $*" >&2
  exit 1
}
say() { echo "wine_check: $*"; }
now() { date +%s.%N; }
elapsed() { python3 -c "print(round($(now) - $1, 2))"; }

# --- imports --------------------------------------------------------------
dlls=$(x86_64-w64-mingw32-objdump -p "$given/velmor.exe" | sed -n 's/^\s*DLL Name: //p' |
  tr 'A-Z' 'a-z' | sort -u)
system='^(kernel32|user32|gdi32|opengl32|glu32|winmm|msvcrt|advapi32|shell32|ole32|ws2_32)\.dll$'
foreign=$(grep -Ev "$system" <<<"$dlls" || true)
[ -z "$foreign" ] || fail "velmor.exe imports DLLs that are not the system's: $foreign"
say "velmor.exe ($(stat -c %s "$given/velmor.exe") bytes) imports $(tr '\n' ' ' <<<"$dlls")"

# Every resource is declared with the language the pictures are made for;
# the script windres gives back names each resource's LANGUAGE before it.
resources=$(x86_64-w64-mingw32-windres -i "$given/velmor.exe" -O rc 2>&1) ||
  fail "windres cannot read the resources of velmor.exe: $resources"
languages=$(grep '^LANGUAGE' <<<"$resources" | sort | uniq -c | sed 's/^ *//' | tr '\n' ';')
[ "$(grep -c '^LANGUAGE' <<<"$resources")" -gt 0 ] &&
  [ -z "$(grep '^LANGUAGE' <<<"$resources" | grep -v '^LANGUAGE 9, 4$')" ] ||
  fail "resources in other languages than 0x1009 (English, Canada): $languages"
grep -q 'RT_GROUP_ICON' <<<"$resources" || fail "velmor.exe has no icon"
pictures=$(grep -c 'Name: "' <<<"$resources" || true)
say "velmor.exe's resources ($pictures pictures, the icon, the version): all $languages"

# The licences open with a double-click.
members=$(python3 -c "import sys, zipfile; print('\n'.join(zipfile.ZipFile(sys.argv[1]).namelist()))" "$zip")
licences=$(grep '/licences/.' <<<"$members" || true)
[ -n "$licences" ] || fail "the zip holds no licences"
untyped=$(grep -v '\.txt$' <<<"$licences" || true)
[ -z "$untyped" ] || fail "licences that do not open as text: $untyped"
say "the zip's licences: $(sed 's,.*/,,' <<<"$licences" | tr '\n' ' ')"

# --- Wine, X and sound ----------------------------------------------------
export HOME=$work/home WINEPREFIX=$work/prefix XDG_RUNTIME_DIR=$work/run WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
mkdir -p "$HOME" "$XDG_RUNTIME_DIR"

source "$here/../private_servers.sh"
start_display 800x600x24
# A fresh prefix; without a window manager every DestroyWindow would wait 2 s
# for one unless Wine manages its windows itself.
timeout 120 wine wineboot -i >/dev/null 2>&1 || fail "wineboot could not make a prefix"
timeout 60 wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f \
  >/dev/null 2>&1 || fail "cannot set the X11 driver's Managed key"

start_sound

# Runs the intro in `folder` in the background; sets `app` and `started`.
# Wine's msgbox trace writes the text of every box the program shows. Run
# from here, the intro's standard error is this script's log; `launch
# detached` starts the velmor.exe in `folder` as Explorer does, in its own
# folder and with no standard error at all (Wine's own trace still reaches
# the log).
launch() {
  local folder=$1 how=${2:-}
  local command=(wine "$given/velmor.exe")
  [ "$how" = detached ] && command=(wine start /wait /unix "$folder/velmor.exe")
  started=$(now)
  (cd "$folder" && WINEDEBUG=-all,trace+msgbox exec timeout 300 "${command[@]}") \
    >"$work/app.log" 2>&1 &
  app=$!
}

# The texts of the boxes shown so far, one a line, as Wine's trace quotes them.
boxes() { sed -n 's/.*MSGBOX_OnInit L"\(.*\)"$/\1/p' "$work/app.log"; }

# The id of the one window titled `title`, waiting up to `seconds`.
window_of() {
  local title=$1 seconds=$2 found=""
  for _ in $(seq $((seconds * 10))); do
    found=$(xdotool search --onlyvisible --name "^$title\$" 2>/dev/null || true)
    [ -n "$found" ] && break
    sleep 0.1
  done
  [ "$(wc -w <<<"$found")" -le 1 ] || fail "more than one window titled \"$title\": $found"
  echo "$found"
}

# Waits for the intro to end; sets `status` and `ended` (seconds from `since`).
wait_end() {
  local since=$1 seconds=$2
  for _ in $(seq $((seconds * 20))); do
    kill -0 "$app" 2>/dev/null || break
    sleep 0.05
  done
  kill -0 "$app" 2>/dev/null && fail "the intro did not end within $(elapsed "$since") s; its boxes: $(boxes | tr "\n" "|")"
  ended=$(elapsed "$since")
  status=0
  wait "$app" || status=$?
}

# Presses Escape on `window` and waits for the end; sets `status`, `ended`.
# On a busy machine a key sent while Wine is still handing the focus back
# from a box's thread can be lost; it is pressed again after 5 s, long past
# any bound on how soon Escape must end the show.
escape() {
  local since
  since=$(now)
  for _ in 1 2 3 4; do
    xdotool windowfocus --sync "$1" key Escape 2>/dev/null
    for _ in $(seq 100); do
      kill -0 "$app" 2>/dev/null || break 2
      sleep 0.05
    done
  done
  wait_end "$since" 1
}

# Dismisses the box titled Error, which must say `text`; fails when none
# shows within `seconds`.
dismiss_box() {
  local text=$1 seconds=$2 box
  box=$(window_of Error "$seconds")
  [ -n "$box" ] || fail "no box \"$text\" appeared"
  [ "$(boxes)" = "$text" ] || fail "the box says \"$(boxes)\", not \"$text\""
  xdotool windowfocus --sync "$box" key Return 2>/dev/null
}

# The brightest of the mean levels of red, green and blue over the screen.
brightness() {
  convert "$1" -alpha off -format '%[fx:255*max(mean.r,max(mean.g,mean.b))]' info: | cut -d. -f1
}

# --- the show on an 800x600 screen ----------------------------------------
export PULSE_SERVER=$sound
launch "$given"
window=$(window_of "Velmor for Torva" 30)
[ -n "$window" ] || fail "no window titled \"Velmor for Torva\" within 30 s: $(tail -3 "$work/app.log")"
import -window root "$work/first.png"
say "window after $(elapsed "$started") s"
# The pictures take seconds to load under Wine; until the first frame the
# screen is black, never the window class's light grey. The show itself is
# dark blue (mean levels below 40); the grey would be about 190.
first=$(brightness "$work/first.png")
[ "$first" -le 60 ] || fail "the first look at the window is light (level $first), not black"
say "the first look at the window: level $first"
eval "$(xdotool getwindowgeometry --shell "$window")"
[ "$WIDTH" = 800 ] && [ "$HEIGHT" = 600 ] || fail "the window is ${WIDTH}x$HEIGHT, not 800x600"
[ -z "$(window_of Error 1)" ] && [ -z "$(boxes)" ] ||
  fail "a box appeared on an 800x600 screen: $(boxes)"

# The first card, the dedication, comes at 3.8 s of the show and stays past
# 10 s; its text lies across the middle of the screen. There, the frame with
# it differs from the bare one by 20 to 27 levels on average (measured), and
# two bare frames not at all. Wine's start-up (3 to 11 s to the first frame
# here) decides when the show's 7 s falls, so the screen is looked at every
# half second until the card is there.
card_seen() {
  python3 -c "import sys; sys.exit(0 if min(map(float, '$1'.split()[1:4])) >= 10 else 1)"
}
for _ in $(seq 60); do
  sleep 0.5
  import -window root "$work/card.png"
  difference=$(python3 "$here/../frame_difference.py" --crop 400x200+200+200 "$work/card.png" "$bare")
  card_seen "$difference" && break
done
say "the middle of the screen $(elapsed "$started") s after the start, against the bare" \
  "background: $difference"
card_seen "$difference" || fail "no card on the screen in 60 looks, half a second apart"
[ -z "$keep" ] || cp "$work/card.png" "$keep"

# The toggle: another program posts 1025; the window is made again in the
# other mode, and the show goes on in it.
before=$window
WINEDEBUG=-all timeout 30 wine "$toggle" >/dev/null 2>&1 || fail "velmor-toggle.exe could not post"
for _ in $(seq 100); do
  window=$(window_of "Velmor for Torva" 1)
  [ -n "$window" ] && [ "$window" != "$before" ] && break
  sleep 0.1
done
[ -n "$window" ] && [ "$window" != "$before" ] || fail "the toggle made no new window"
kill -0 "$app" 2>/dev/null || fail "the intro ended at the toggle"
# Frames are being drawn when two screens a second apart differ: the film
# grain alone moves pixels by 34 to 38 levels where the cards hold still
# (measured), and a stopped show leaves the very same picture. The new
# window loads the pictures again first (seconds on a busy machine), black
# meanwhile, so it is looked at for up to 30 s.
moved() { python3 -c "import sys; sys.exit(0 if max(map(int, '$1'.split()[5:8])) >= 8 else 1)"; }
import -window root "$work/toggled-2.png"
for _ in $(seq 30); do
  sleep 1
  mv "$work/toggled-2.png" "$work/toggled-1.png"
  import -window root "$work/toggled-2.png"
  moving=$(python3 "$here/../frame_difference.py" "$work/toggled-1.png" "$work/toggled-2.png")
  moved "$moving" && break
done
moved "$moving" || fail "the show stood still after the toggle ($moving)"
say "the toggle made a new window; the show goes on ($moving a second apart)"

escape "$window"
[ "$status" = 0 ] || fail "Escape ended the intro with status $status"
python3 -c "import sys; sys.exit(0 if $ended <= 1.6 else 1)" ||
  fail "Escape took $ended s to end the intro"
say "Escape ended it with status 0 in $ended s"

# --- the music under load -------------------------------------------------
# Two loops that never sleep take the machine's two cores from the intro's
# threads; the sound device must still never run dry. The monitor of the
# null sink is what a listener would hear.
if [ "$sound_seconds" -gt 0 ]; then
# The recorder is connected first: a stream joining the null sink while the
# music plays makes it change its latency, which drops 25 to 120 ms of what
# is playing at that moment (measured), a gap of the recording's making.
parec -d null.monitor --raw --format=s16le --rate=44100 --channels=2 >"$work/heard.raw" &
recorder=$!
pids+=("$recorder")
sleep 1
VELMOR_SOUND_QUEUE=1 launch "$given"
window=$(window_of "Velmor for Torva" 30)
[ -n "$window" ] || fail "under load: no window"
for _ in 1 2; do
  sh -c 'while :; do :; done' &
  pids+=($!)
done
busy=("${pids[@]: -2}")
for _ in $(seq $((sound_seconds * 10))); do
  kill -0 "$app" 2>/dev/null || break
  sleep 0.1
done
if kill -0 "$app" 2>/dev/null; then
  escape "$window"
  escaped=" (Escape ended it in $ended s under load)"
else
  wait_end "$(now)" 1
  escaped=" (it ended by itself)"
fi
kill "${busy[@]}" "$recorder" 2>/dev/null || true
[ "$status" = 0 ] || fail "under load the intro ended with status $status"
heard=$(python3 "$here/silences.py" --music "$music" "$work/heard.raw")
say "the music under load$escaped: $heard"
# Wine's own path to PulseAudio holds a few tens of milliseconds, whatever
# the program queues, refilled by Wine's threads at normal priority: when the
# busy loops keep them from running for longer than that, the sink plays
# zeros. Those drop-outs are told, not failed (a PULSE_LATENCY_MSEC of 100
# for Wine's stream takes away all but one, which its prebuffering makes at
# the start). What the program owes is that the music keeps coming: most of
# it is heard, and its own queue never runs dry.
python3 - "$heard" <<'PYTHON' || fail "the music under load was mostly silence: $heard"
import re, sys
found = re.match(r"sound ([0-9.]+) s from [0-9.]+ s; \d+ silences, total (\d+) ms", sys.argv[1])
sys.exit(0 if found and float(found[1]) >= 20 and int(found[2]) <= 500 * float(found[1]) else 1)
PYTHON
# What the program itself owes: its queue never ran dry, busy loops or not.
queue=$(sed -n 's/^velmor: sound queue: //p' "$work/app.log")
say "the program's sound queue under load: $queue"
[[ "$queue" == *"ran dry 0 times"* ]] || fail "the program's sound queue ran dry: ${queue:-no report}"
fi

# --- no module beside it --------------------------------------------------
mkdir "$work/alone"
launch "$work/alone"
window=$(window_of "Velmor for Torva" 30)
[ -n "$window" ] || fail "without the module: no window"
sleep 2
kill -0 "$app" 2>/dev/null || fail "without the module the intro ended by itself"
[ -z "$(boxes)" ] || fail "without the module a box appeared: $(boxes)"
escape "$window"
[ "$status" = 1 ] || fail "without the module the intro ended with status $status, not 1"
say "without the module: the background until Escape, status 1"

# Copied alone and started as Explorer starts it, the line no one would read
# is shown in the box, and the background goes on behind it until Escape.
mkdir "$work/copied"
cp "$given/velmor.exe" "$work/copied/"
launch "$work/copied" detached
dismiss_box 'velmor: cannot open the music \"torva_velmor2.it\": No such file or directory' 30
window=$(window_of "Velmor for Torva" 30)
[ -n "$window" ] || fail "without the module, started detached: no window after the box"
kill -0 "$app" 2>/dev/null || fail "without the module, started detached, the intro ended at the box"
# The box was another thread's: with no window manager to hand the keys back
# to the show's window, the viewer clicks it, as on a desktop.
xdotool mousemove --window "$window" 400 300 click 1 2>/dev/null
escape "$window"
[ "$status" = 1 ] || fail "without the module, started detached, the status is $status, not 1"
say "without the module, started with no standard error: the box with the player's line, status 1"

# --- a damaged gift pack beside it ----------------------------------------
mkdir "$work/damaged"
cp "$given/velmor.exe" "$given/torva_velmor2.it" "$work/damaged/"
cp "$given/torva_velmor2.it" "$work/damaged/gift.pack"
launch "$work/damaged" detached
since=$started
dismiss_box 'velmor: the gift pack \"gift.pack\" cannot be shown: not a gift pack (it does not begin with VELMORPK)' 30
wait_end "$since" 30
[ "$status" = 1 ] || fail "with a damaged gift pack the status is $status, not 1"
say "with a damaged gift pack, started with no standard error: the box naming it, status 1"

# --- no sound device ------------------------------------------------------
unset PULSE_SERVER
launch "$given"
dismiss_box "Cannot open the audio device." 30
wait_end "$(now)" 20
[ "$status" = 1 ] || fail "with no sound device the status is $status, not 1"
say "with no sound device: a box, then status 1"

# --- a screen that cannot switch to 800x600 --------------------------------
wineserver -k 2>/dev/null || true
start_display 1024x768x24
export PULSE_SERVER=$sound
launch "$given"
dismiss_box 'Mode Switch Failed.\nRunning In Windowed Mode.' 30
window=$(window_of "Velmor for Torva" 30)
[ -n "$window" ] || fail "on a 1024x768 screen: no window after the box"
# Wine draws the frame and caption inside the X window: its size is the
# outer one, and the picture gets what the program itself calls its inside.
inside=$(WINEDEBUG=-all timeout 30 wine "$client_size" 2>/dev/null | tr -d '\r') ||
  fail "velmor-client-size.exe found no window"
eval "$(xdotool getwindowgeometry --shell "$window")"
[ "$inside" = 800x600 ] || fail "the picture gets ${inside} of a ${WIDTH}x$HEIGHT window, not 800x600"
escape "$window"
[ "$status" = 0 ] || fail "on a 1024x768 screen Escape gave status $status"
say "on a 1024x768 screen: the box, then a ${WIDTH}x$HEIGHT window, 800x600 inside"
say "all passed"
