#!/usr/bin/env bash
# Builds the third-party libraries a target links, from Debian's source
# packages, once per version, into a cache that every build folder shares.
# Prints the target's cache folder.
#
#   scripts/third-party.sh web       libopenmpt (WebAssembly exceptions),
#                                    libjpeg-turbo, GLU's mipmap builder,
#                                    and for the gift maker's pictures
#                                    zlib, libpng and FreeType, compiled
#                                    with Emscripten
#   scripts/third-party.sh windows   libopenmpt and libjpeg-turbo, static, for
#                                    64-bit Windows with MinGW-w64 (Windows
#                                    brings its own GLU, glu32)
#
# Each target has its own folder, <cache>/web or <cache>/windows, where <cache>
# is $VELMOR_CACHE or ~/.cache/velmor:
#   <name>-<version>-<recipe>/{include,lib,licence}   one per library and
#                     recipe (the start of a digest of it), valid once .complete
#                     exists (written last) and names the whole digest, so that
#                     checkouts whose recipes differ share the cache without
#                     rebuilding or removing each other's libraries
#   sources/          the upstream tarballs, so a rebuild needs no network
#   apt/              a private apt state: the system's apt set-up is never touched
#   logs/             one build log per library
#   packages.txt      what the programs' build links, one line a library: the
#                     name it is linked by, its folder, its archive and
#                     <name>-<version>, which names its licences
set -euo pipefail

usage="usage: scripts/third-party.sh web|windows"
[ $# -eq 1 ] || { echo "$usage" >&2; exit 2; }
target=$1
case "$target" in
  web)
    tools=(emcc emar emconfigure emcmake emmake)
    # Debian's Node does not look in its own module folder, and emcc's
    # optimised links need acorn from there.
    export NODE_PATH=/usr/share/nodejs
    ;;
  windows)
    tools=(x86_64-w64-mingw32-gcc-posix x86_64-w64-mingw32-g++-posix x86_64-w64-mingw32-ar
      x86_64-w64-mingw32-ranlib x86_64-w64-mingw32-windres)
    ;;
  *) echo "third-party: unknown target $target; $usage" >&2; exit 2 ;;
esac

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
toolchain="$here/../cmake/mingw-w64.cmake"
root="${VELMOR_CACHE:-$HOME/.cache/velmor}/$target"
jobs=$(nproc)
work=""
apt_ready=0

say() { echo "third-party $target: $*" >&2; }

cleanup() { if [ -n "$work" ]; then rm -rf "$work"; fi; }
trap cleanup EXIT
trap 'exit 130' INT TERM

for tool in "${tools[@]}" cmake make apt-get tar flock sha256sum; do
  command -v "$tool" >/dev/null || { say "$tool not found: run scripts/setup.sh --$target"; exit 1; }
done

mkdir -p "$root/sources" "$root/logs"
# Two build folders configuring at once would otherwise build into the same place.
exec 9>"$root/.lock"
if ! flock -n 9; then
  say "waiting for another run for $target to finish"
  flock 9
fi

apt_opts=(-o Dir::Etc::SourceList=/dev/null -o "Dir::Etc::SourceParts=$root/apt/etc/sources.list.d"
  -o "Dir::State::Lists=$root/apt/lists" -o "Dir::Cache=$root/apt/cache" -o APT::Sandbox::User=root)

prepare_apt() {
  [ "$apt_ready" = 1 ] && return 0
  mkdir -p "$root/apt/etc/sources.list.d" "$root/apt/lists/partial" "$root/apt/cache/archives/partial"
  cat >"$root/apt/etc/sources.list.d/src.sources" <<EOF
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
  apt-get "${apt_opts[@]}" update
  apt_ready=1
}

# Sets tarball to the upstream tarball of Debian source package $1 at upstream
# version $2, downloading it the first time. Only the upstream tarball is taken:
# Debian's changes to these three touch SIMD, ARM, build stamps, manuals and
# RPATH, none of which a static WebAssembly or Windows build uses.
fetch_source() {
  local pkg=$1 version=$2 f
  tarball=""
  # Named by compression alone: a signature (.asc) beside a tarball is not one.
  for f in "$root/sources/${pkg}_${version}".orig.tar.{gz,bz2,xz}; do
    if [ -f "$f" ]; then tarball=$f; return 0; fi
  done
  prepare_apt
  # Downloaded apart and moved in whole, so a broken download is never taken
  # for a tarball.
  local dl
  dl=$(mktemp -d "$root/sources/.download.XXXXXX")
  if ! (cd "$dl" && apt-get "${apt_opts[@]}" source --download-only --tar-only "$pkg"); then
    rm -rf "$dl"
    return 1
  fi
  for f in "$dl/${pkg}_${version}".orig.tar.{gz,bz2,xz}; do
    if [ -f "$f" ]; then
      mv "$f" "$root/sources/"
      tarball="$root/sources/${f##*/}"
    fi
  done
  rm -rf "$dl"
  if [ -z "$tarball" ]; then
    echo "Debian's $pkg is not upstream version $version" >&2
    return 1
  fi
}

# Unpacks the tarball into $work/<name> and sets src to its one top folder.
unpack() {
  local name=$1
  rm -rf "${work:?}/$name"
  mkdir -p "$work/$name"
  tar -xf "$tarball" -C "$work/$name"
  local tops=("$work/$name"/*)
  [ ${#tops[@]} -eq 1 ] || { echo "$tarball does not hold one top folder" >&2; return 1; }
  src=${tops[0]}
}

# The recipes, <target>_<name>, each build one library from its unpacked source
# ($src) and put it into the folder given ($1). The web recipes compile with
# Emscripten.

# libopenmpt's own C API catches its exceptions (a file that is not a module
# gives NULL and a message). In the browser the library runs in the audio
# worklet's program, which has no Emscripten JavaScript: its exceptions are
# WebAssembly's own, which need no glue (-fexceptions needs ~60 JavaScript
# helpers). The page's program calls that build and takes only the headers.
web_libopenmpt() {
  local dest=$1
  cd "$src"
  configure_libopenmpt "$dest" env CFLAGS="-O2" CXXFLAGS="-O2 -fwasm-exceptions" \
    LDFLAGS="-fwasm-exceptions" emconfigure ./configure --host=i686-pc-linux-gnu
  emmake make -j"$jobs"
  emmake make install-nobase_includeHEADERS
  install_libopenmpt "$dest"
}

# CMake's type-size check misreads wasm objects, hence the size presets.
web_libjpeg_turbo() {
  local dest=$1
  mkdir -p "$src/build"
  cd "$src/build"
  emcmake cmake .. -DENABLE_SHARED=OFF -DWITH_SIMD=0 -DWITH_TURBOJPEG=OFF \
    -DCMAKE_BUILD_TYPE=Release -DSIZE_T=4 -DHAVE_SIZE_T=TRUE -DUNSIGNED_LONG=4 \
    -DHAVE_UNSIGNED_LONG=TRUE
  emmake make -j"$jobs" jpeg-static
  install_libjpeg_turbo "$dest"
}

# Every build of libjpeg-turbo ends alike, in its build folder: the library,
# the four headers a program includes, and the licences.
install_libjpeg_turbo() {
  local dest=$1
  mkdir -p "$dest/lib" "$dest/include" "$dest/licence"
  cp libjpeg.a "$dest/lib/"
  cp jconfig.h ../jpeglib.h ../jmorecfg.h ../jerror.h "$dest/include/"
  cp ../LICENSE.md ../README.ijg "$dest/licence/"
}

# Runs the configure command given after `dest` with the options every build
# of libopenmpt shares: static, no player, examples or tests, no optional
# codecs.
configure_libopenmpt() {
  local dest=$1
  shift
  "$@" --prefix="$dest" --disable-shared --enable-static --disable-openmpt123 --disable-examples \
    --disable-tests --disable-doxygen-doc --without-zlib --without-mpg123 --without-ogg \
    --without-vorbis --without-vorbisfile --without-portaudio --without-portaudiocpp \
    --without-pulseaudio --without-sndfile --without-flac
}

# The library and its licence, beside the headers its own install put there.
install_libopenmpt() {
  local dest=$1
  mkdir -p "$dest/lib" "$dest/licence"
  cp .libs/libopenmpt.a "$dest/lib/"
  cp LICENSE "$dest/licence/"
}

# Only the mipmap builder: Emscripten's GL emulation brings its own matrix
# helpers (gluOrtho2D and friends), which the rest of libutil would shadow.
# Its pixel-store calls go through the web back end's glu_pixel_store.c (why:
# see there). The GL calls stay unresolved until the program links
# Emscripten's GL; the header comes from GLU itself, gl.h from Emscripten.
web_glu() {
  local dest=$1
  cd "$src"
  emcc -O2 -DLIBRARYBUILD -DglGetIntegerv=WebGluGetIntegerv -DglPixelStorei=WebGluPixelStorei \
    -Iinclude -Isrc/include -c src/libutil/mipmap.c -o mipmap.o
  emcc -O2 -Wall -Wextra -Werror -c "$here/../platform/web/glu_pixel_store.c" -o pixel-store.o
  emar rcs libGLU.a mipmap.o pixel-store.o
  mkdir -p "$dest/lib" "$dest/include/GL" "$dest/licence"
  cp libGLU.a "$dest/lib/"
  cp include/GL/glu.h "$dest/include/GL/"
  # GLU has no licence file: its licence is the header of each source file.
  sed -n '1,/\*\//p' src/libutil/mipmap.c >"$dest/licence/SGI-FreeB-2.0"
}

# zlib for libpng: its library sources and nothing else (no gz file calls are
# used, but they cost nothing unlinked), the two headers libpng includes.
web_zlib() {
  local dest=$1
  cd "$src"
  local sources=(adler32 compress crc32 deflate gzclose gzlib gzread gzwrite infback inffast
    inflate inftrees trees uncompr zutil)
  for name in "${sources[@]}"; do emcc -O2 -DHAVE_UNISTD_H -c "$name.c" -o "$name.o"; done
  emar rcs libz.a "${sources[@]/%/.o}"
  mkdir -p "$dest/lib" "$dest/include" "$dest/licence"
  cp libz.a "$dest/lib/"
  cp zlib.h zconf.h "$dest/include/"
  cp LICENSE "$dest/licence/"
}

# libpng's library sources with its prebuilt configuration (every feature of a
# default build, no processor-specific code, which WebAssembly has none of),
# against the zlib built above ($zlib_dest).
web_libpng() {
  local dest=$1
  cd "$src"
  cp scripts/pnglibconf.h.prebuilt pnglibconf.h
  local sources=(png pngerror pngget pngmem pngpread pngread pngrio pngrtran pngrutil pngset
    pngtrans pngwio pngwrite pngwtran pngwutil)
  for name in "${sources[@]}"; do emcc -O2 -I"$zlib_dest/include" -c "$name.c" -o "$name.o"; done
  emar rcs libpng16.a "${sources[@]/%/.o}"
  mkdir -p "$dest/lib" "$dest/include" "$dest/licence"
  cp libpng16.a "$dest/lib/"
  cp png.h pngconf.h pnglibconf.h "$dest/include/"
  cp LICENSE "$dest/licence/"
}

# FreeType without the optional libraries a desktop build links (compressed
# fonts, colour bitmaps, shaping): the card font is a plain TrueType file.
# Gzipped fonts are turned off in its options too: without a zlib of its own
# choosing FreeType compiles in a copy whose names clash with libpng's zlib.
# The rasteriser flattens curves one of two ways, chosen by processor, and the
# two differ in the last bits of a glyph's edge: WebAssembly is given the way
# x86-64 takes (in portable C), so that a card comes out as the desktop's.
web_freetype() {
  local dest=$1
  sed -i 's|^#define FT_CONFIG_OPTION_USE_ZLIB$|/* no gzipped fonts */|' \
    "$src/include/freetype/config/ftoption.h"
  grep -q 'no gzipped fonts' "$src/include/freetype/config/ftoption.h"
  sed -i 's#^    defined( __aarch64__ ) || \\$#    defined( __aarch64__ ) || defined( __wasm__ ) || \\#' \
    "$src/src/smooth/ftgrays.c"
  grep -q 'defined( __wasm__ )' "$src/src/smooth/ftgrays.c"
  mkdir -p "$src/build"
  cd "$src/build"
  emcmake cmake .. -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=OFF -DFT_DISABLE_ZLIB=ON \
    -DFT_DISABLE_BZIP2=ON -DFT_DISABLE_PNG=ON -DFT_DISABLE_HARFBUZZ=ON -DFT_DISABLE_BROTLI=ON
  emmake make -j"$jobs" freetype
  mkdir -p "$dest/lib" "$dest/include" "$dest/licence"
  cp libfreetype.a "$dest/lib/"
  cp -R ../include/ft2build.h ../include/freetype "$dest/include/"
  cp ../LICENSE.TXT ../docs/FTL.TXT "$dest/licence/"
}

# The Windows recipes compile for a program linked with -static by MinGW-w64's
# posix-threads GCC, named in full so that the system's choice of default
# (win32 or posix threads) does not matter. Static libraries only, at -O2.

# Windows builds of libopenmpt need ole32 and rpcrt4 for its UUIDs: its
# pkg-config file (lib/pkgconfig/libopenmpt.pc) names them.
windows_libopenmpt() {
  local dest=$1
  cd "$src"
  configure_libopenmpt "$dest" env CC=x86_64-w64-mingw32-gcc-posix \
    CXX=x86_64-w64-mingw32-g++-posix CFLAGS="-O2" CXXFLAGS="-O2" \
    ./configure --host=x86_64-w64-mingw32
  make -j"$jobs"
  make install-nobase_includeHEADERS install-pkgconfigDATA
  install_libopenmpt "$dest"
}

# The install prefix must be given: the default (c:/libjpeg-turbo-gcc64) stops
# configuring on Linux. libjpeg-turbo raises -O2 in the build type's flags to
# -O3, so -O2 goes into the flags of every build type instead.
windows_libjpeg_turbo() {
  local dest=$1
  mkdir -p "$src/build"
  cd "$src/build"
  cmake .. -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_INSTALL_PREFIX="$dest" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_C_FLAGS="-O2" -DCMAKE_C_FLAGS_RELEASE="-DNDEBUG" \
    -DENABLE_SHARED=OFF -DWITH_SIMD=0 -DWITH_TURBOJPEG=OFF
  make -j"$jobs" jpeg-static
  install_libjpeg_turbo "$dest"
}

# ensure <linked as> <name> <version> <Debian source package> <recipe> <how long>
#        [files it compiles, or the helpers it calls as <(declare -f helper)]
# The stamp holds a digest of the recipe and of our own files it compiles, so a
# changed recipe rebuilds instead of reusing an older result. The recipe is
# digested under the name build_<name>, not its own, so the stamp follows what
# the recipe does and not what the script calls it (each target's stamps live
# in its own folder). The library is added to the list of what is built, and
# its folder is left in last_dest for a later recipe that builds against it.
built=""
ensure() {
  local linked=$1 name=$2 version=$3 pkg=$4 build=$5 duration=$6
  shift 6
  local log="$root/logs/$name-$version.log"
  local recipe
  recipe=$({
    declare -f "$build" | sed "1s/^$build /build_${name//-/_} /"
    if [ $# -gt 0 ]; then cat "$@"; fi
  } | sha256sum | cut -d' ' -f1)
  local dest="$root/$name-$version-${recipe:0:12}"
  last_dest=$dest
  if [ -f "$dest/.complete" ] && [ "$(cat "$dest/.complete")" = "$recipe" ]; then
    say "$name $version cached"
    add_built "$linked" "$dest" "$name-$version"
    return 0
  fi
  say "building $name $version ($duration)"
  if [ -z "$work" ]; then work=$(mktemp -d "$root/tmp.XXXXXX"); fi
  rm -rf "$dest"
  # errexit holds inside the subshell only while its status is not being tested.
  set +e
  (
    set -e
    fetch_source "$pkg" "$version"
    unpack "$name"
    "$build" "$dest"
    # What is published with the program must carry each library's licence.
    [ -n "$(ls -A "$dest/licence" 2>/dev/null)" ] || { echo "no licence in $dest/licence" >&2; exit 1; }
  ) >"$log" 2>&1
  local rc=$?
  set -e
  rm -rf "${work:?}/$name"
  if [ "$rc" -ne 0 ]; then
    say "building $name $version failed; log: $log"
    exit 1
  fi
  echo "$recipe" >"$dest/.complete"
  add_built "$linked" "$dest" "$name-$version"
}

# add_built <linked as> <folder> <name>-<version>: one line of packages.txt.
# Each recipe leaves one archive in lib/ (or none, for headers alone).
add_built() {
  local archives=("$2"/lib/*.a)
  [ ${#archives[@]} -eq 1 ] || { say "$2/lib holds ${#archives[@]} archives, not one"; exit 1; }
  local archive=${archives[0]##*/}
  [ -e "${archives[0]}" ] || archive=HEADERS
  built+="$1 ${2##*/} $archive $3"$'\n'
}

# Rewritten only when it changes: the programs' builds reconfigure when it does.
write_built() {
  if [ "$(cat "$root/packages.txt" 2>/dev/null)"$'\n' != "$built" ]; then
    printf '%s' "$built" >"$root/packages.txt.new"
    mv "$root/packages.txt.new" "$root/packages.txt"
  fi
}

case "$target" in
  web)
    ensure libopenmpt libopenmpt 0.6.9 libopenmpt web_libopenmpt "about 2 minutes" \
      <(declare -f configure_libopenmpt install_libopenmpt)
    ensure libjpeg libjpeg-turbo 2.1.5 libjpeg-turbo web_libjpeg_turbo "about 15 seconds" \
      <(declare -f install_libjpeg_turbo)
    ensure glu glu 9.0.2 libglu web_glu "a few seconds" "$here/../platform/web/glu_pixel_store.c"
    ensure zlib zlib 1.2.13.dfsg zlib web_zlib "a few seconds"
    zlib_dest=$last_dest
    ensure libpng libpng 1.6.39 libpng1.6 web_libpng "a few seconds" <(echo "$zlib_dest")
    ensure freetype2 freetype 2.12.1+dfsg freetype web_freetype "about 30 seconds"
    ;;
  windows)
    ensure libopenmpt libopenmpt 0.6.9 libopenmpt windows_libopenmpt "about 3 minutes" \
      <(declare -f configure_libopenmpt install_libopenmpt)
    ensure libjpeg libjpeg-turbo 2.1.5 libjpeg-turbo windows_libjpeg_turbo "about 15 seconds" \
      "$toolchain" <(declare -f install_libjpeg_turbo)
    ;;
esac
write_built

echo "$root"
