#!/usr/bin/env bash
# Each build configuration and each third-party version is stated once:
#  - every preset the Makefile and the scripts build or test with exists in
#    CMakePresets.json, as this CMake reads it, and every configure preset
#    has a build preset of the same name;
#  - no configure of our tree in the Makefile or the scripts states a build
#    type, toolchain, compiler or option of its own: they are the presets';
#  - no version of a library that scripts/third-party.sh builds appears in the
#    build files or the tests: they read it from what the script lists.
#
#   tests/build/one_place.sh [ROOT]      (seconds; nothing is built)
set -euo pipefail
root=${1:-$(cd "$(dirname "$0")/../.." && pwd)}
cd "$root"
failures=0
fail() {
  echo "one_place: FAIL: $*" >&2
  failures=$((failures + 1))
}

# The names cmake lists for one kind of preset.
presets() {
  local listing
  listing=$(cmake --list-presets="$1" 2>&1) || {
    fail "cmake cannot read CMakePresets.json: $listing"
    return 0
  }
  sed -n 's/^ *"\([^"]*\)".*/\1/p' <<<"$listing"
}
configure_presets=$(presets configure)
build_presets=$(presets build)
test_presets=$(presets test)
[ -n "$configure_presets" ] || fail "CMakePresets.json lists no configure presets"
for preset in $configure_presets; do
  grep -qx "$preset" <<<"$build_presets" || fail "configure preset $preset has no build preset"
done

# What the Makefile and the scripts ask for by name: scripts/build.sh PRESET,
# ctest --preset PRESET.
sources=(Makefile scripts/*.sh)
while read -r preset; do
  grep -qx "$preset" <<<"$build_presets" || fail "scripts/build.sh $preset: no such preset"
done < <(grep -ho 'scripts/build\.sh"\? [a-z][a-z-]*' "${sources[@]}" | awk '{ print $2 }' | sort -u)
while read -r preset; do
  grep -qx "$preset" <<<"$test_presets" || fail "ctest --preset $preset: no such test preset"
done < <(grep -ho 'ctest --preset [a-z][a-z-]*' "${sources[@]}" | awk '{ print $3 }' | sort -u)

# Our own tree configured outside the presets. scripts/third-party.sh
# configures the libraries' sources, not ours, and is left out.
while IFS= read -r line; do
  fail "configured outside the presets: $line"
done < <(grep -nE -- '-DCMAKE_BUILD_TYPE|-DCMAKE_TOOLCHAIN_FILE|-DVELMOR_(SANITIZE|FUZZ|IMAGES|MODULE|WEB_PAGE)|(CC|CXX)=clang|cmake -S|ASAN_OPTIONS=' \
  Makefile $(ls scripts/*.sh | grep -v third-party.sh) .ci/run)

# The versions scripts/third-party.sh builds, stated nowhere else.
versions=$(sed -n 's/^ *ensure [a-z-]* \([a-z-]*\) \([0-9][0-9.]*\) .*/\1-\2/p' scripts/third-party.sh | sort -u)
[ -n "$versions" ] || fail "scripts/third-party.sh builds no library that this test can read"
for version in $versions; do
  while IFS= read -r line; do
    fail "$version stated again: $line"
  done < <(grep -rnF --include='*.cmake' --include=CMakeLists.txt --include='*.json' \
    --include='*.sh' --include=Makefile --include='*.mjs' --include='*.py' -- "$version" \
    CMakeLists.txt CMakePresets.json Makefile cmake platform tests fuzz .ci || true)
done

[ "$failures" -eq 0 ] || exit 1
echo "one_place: $(wc -w <<<"$configure_presets") configurations, each stated once;" \
  "$(wc -w <<<"$versions") library versions, each stated once"
