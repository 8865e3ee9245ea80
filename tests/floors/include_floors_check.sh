#!/usr/bin/env bash
# The floor check itself, on small trees of its own: it must list an include
# that reaches up or into a folder with no floor, and pass one that goes down
# or sideways, so that it cannot pass the real tree by reading nothing.
set -euo pipefail
check="$(cd "$(dirname "$0")" && pwd)/include_floors.sh"
tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
fail() {
  echo "include_floors_check: $*" >&2
  exit 1
}

mkdir -p "$tree"/{platform/sdl,music,app,scene,capture}
printf '#include "platform/platform.h"\n#include "local.h"\n' >"$tree/platform/sdl/a.cpp"
printf '#include "platform/audio_sink.h"\n' >"$tree/music/b.cpp"
printf '#  include "music/music.h"\n#include "assets/x.h"\n' >"$tree/app/c.h"
printf '#include "app/scene.h"\n#include "music/music.h"\n' >"$tree/scene/d.cpp"
printf '#include "scene/timeline.h"\n#include <app/not_ours.h>\n' >"$tree/capture/e.cpp"
out=$(bash "$check" "$tree") || fail "a tree that only includes down or sideways was refused: $out"
[[ -z $out ]] || fail "listed includes in a clean tree: $out"

printf '#include "app/show.h"\n' >>"$tree/music/b.cpp"
printf '#include "scene/scene.h"\n' >>"$tree/app/c.h"
printf '#include "elsewhere/thing.h"\n' >>"$tree/capture/e.cpp"
if out=$(bash "$check" "$tree"); then fail "passed a tree with includes that reach up"; fi
expected='app/c.h:3: includes "scene/scene.h", a floor above its own
capture/e.cpp:3: includes "elsewhere/thing.h", whose folder has no floor
music/b.cpp:2: includes "app/show.h", a floor above its own'
[[ $out == "$expected" ]] || fail "listed, instead of the three includes that reach up:
$out"
echo "include_floors_check: ok"
