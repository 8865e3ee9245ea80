#!/usr/bin/env bash
# Runs tests/web/page_tests.mjs with puppeteer-core from a cache shared between
# checkouts, installed from npm once per version.
#   tests/web/page_tests.sh BUILD_WEB
set -euo pipefail
version=25.19.0
dir=${VELMOR_CACHE:-$HOME/.cache/velmor}/npm/puppeteer-core-$version
if [ ! -f "$dir/.complete" ]; then
  echo "page_tests: installing puppeteer-core $version into $dir" >&2
  mkdir -p "$dir"
  (cd "$dir" && npm install --no-audit --no-fund --loglevel=error "puppeteer-core@$version" >&2)
  touch "$dir/.complete"
fi
VELMOR_WEB=${1:?usage: page_tests.sh BUILD_WEB} PUPPETEER_DIR=$dir \
  node --test "$(dirname "$0")/page_tests.mjs"
