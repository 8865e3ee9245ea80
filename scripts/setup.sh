#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing need, and only
# those that are missing, so a second run is quick and needs no network.
set -euo pipefail

build_pkgs=(g++ cmake make pkg-config libsdl2-dev libx11-dev libglu1-mesa-dev libgl-dev libgtest-dev
  libjpeg62-turbo-dev libosmesa6-dev libegl-dev libopenmpt-dev
  libfreetype-dev libpng-dev fonts-paratype fonts-dejavu-core icc-profiles-free)
test_pkgs=(xvfb xfonts-base xdotool x11-utils imagemagick openbox wmctrl openmpt123 xmp sox clang-14
  libclang-rt-14-dev libgl1-mesa-dri)
run_pkgs=(ffmpeg)
# The browser build: emcc, its Node, and the headless browser and npm its tests
# drive; dpkg-dev and the archive keyring let scripts/third-party.sh fetch
# Debian's sources of the libraries it compiles.
web_pkgs=(emscripten nodejs chromium dpkg-dev debian-archive-keyring)
# The page's checks in the two engines that need a window: Firefox ESR, and
# WebKitGTK's MiniBrowser with the WebDriver that starts it, under Xvfb,
# playing into a PulseAudio null sink of the check's own.
browser_pkgs=(chromium firefox-esr webkit2gtk-driver xvfb pulseaudio)
# The Windows build: MinGW-w64's posix-threads GCC and its binutils, with what
# scripts/third-party.sh needs beside them (cmake and make are build packages);
# Wine (64-bit only) and Xvfb run the program in the tests, xdotool answers
# its message boxes, a PulseAudio null sink plays its sound; zip packs what is
# published.
windows_pkgs=(g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 dpkg-dev debian-archive-keyring
  wine wine64 xvfb xdotool pulseaudio zip)

# --tests adds what the tests use, --web what the browser build uses,
# --browsers the engines its checks open, --windows what the Windows build uses; the capture tool (used where there is no
# display, and by the tests) needs ffmpeg.
want=("${build_pkgs[@]}" "${run_pkgs[@]}")
for option in "$@"; do
  case "$option" in
    --tests) want+=("${test_pkgs[@]}") ;;
    # A Node packaged outside Debian (NodeSource's) carries its own npm and
    # conflicts with Debian's npm package, so npm is wanted only when absent.
    --web)
      want+=("${web_pkgs[@]}")
      command -v npm >/dev/null || want+=(npm)
      ;;
    --browsers) want+=("${browser_pkgs[@]}") ;;
    --windows) want+=("${windows_pkgs[@]}") ;;
    *) echo "setup: unknown option $option (known: --tests, --web, --browsers, --windows)" >&2
       exit 2 ;;
  esac
done

missing=()
for p in "${want[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo="env DEBIAN_FRONTEND=noninteractive"
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "setup: need root or sudo to install: ${missing[*]}" >&2; exit 1; }
  sudo="sudo env DEBIAN_FRONTEND=noninteractive"
fi
echo "setup: installing ${missing[*]}" >&2
log=$(mktemp)
if ! { $sudo apt-get -o DPkg::Lock::Timeout=300 update &&
       $sudo apt-get -o DPkg::Lock::Timeout=300 install -y --no-install-recommends "${missing[@]}"; } >"$log" 2>&1; then
  tail -n 30 "$log" >&2
  echo "setup: installing ${missing[*]} failed (full log: $log)" >&2
  exit 1
fi
rm -f "$log"
