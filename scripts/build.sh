#!/usr/bin/env bash
# Configures and builds one of the configurations in CMakePresets.json, the
# only place they are stated; the Makefile and the gift script build through
# here. A cross build is first given its libraries (scripts/third-party.sh),
# and the browser's is configured through emcmake, which names Emscripten's
# toolchain.
#
#   scripts/build.sh PRESET [TARGET...]     no targets: all of the preset's
#
# JOBS (default: the number of processors) sets the build's parallel jobs.
set -euo pipefail

[ $# -ge 1 ] || { echo "usage: scripts/build.sh PRESET [TARGET...]" >&2; exit 2; }
preset=$1
shift
# cmake --build --preset reads the presets of the folder it runs in.
cd "$(dirname "$0")/.."

configure=(cmake --preset "$preset")
case "$preset" in
  web | *-web)
    deps=$(bash scripts/third-party.sh web)
    configure=(emcmake "${configure[@]}" -DVELMOR_DEPS="$deps")
    ;;
  windows | *-windows)
    deps=$(bash scripts/third-party.sh windows)
    configure+=(-DVELMOR_DEPS="$deps")
    ;;
esac
"${configure[@]}" >/dev/null

targets=()
[ $# -eq 0 ] || targets=(--target "$@")
cmake --build --preset "$preset" -j"${JOBS:-$(nproc 2>/dev/null || echo 2)}" "${targets[@]}"
