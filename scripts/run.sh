#!/usr/bin/env bash
# Plays the intro where there is a display; where there is none, renders it
# into a video file in the current folder instead and says where it is.
set -u
cd "$(dirname "$0")/.."
video="velmor_for_torva.mp4"

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  ./build/velmor
  status=$?
  # 255: the window could not be opened for want of a display.
  [ "$status" != 255 ] && exit "$status"
fi

echo "make run: no display here, so the intro is rendered into $video instead" \
     "(about a quarter of an hour without a GPU)." >&2
./build/velmor-capture -o "$video" || exit $?
echo "make run: the intro is in $(pwd)/$video" >&2
