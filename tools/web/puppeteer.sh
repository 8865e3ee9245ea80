#!/usr/bin/env bash
# Runs node with puppeteer-core at hand: installed from npm once per version
# into a cache shared between checkouts, and named by PUPPETEER_DIR.
#   tools/web/puppeteer.sh NODE_ARGUMENTS...
set -euo pipefail
version=25.19.0
dir=${VELMOR_CACHE:-$HOME/.cache/velmor}/npm/puppeteer-core-$version
if [ ! -f "$dir/.complete" ]; then
  echo "puppeteer: installing puppeteer-core $version into $dir" >&2
  mkdir -p "$dir"
  (cd "$dir" && npm install --no-audit --no-fund --loglevel=error "puppeteer-core@$version" >&2)
  touch "$dir/.complete"
fi
PUPPETEER_DIR=$dir exec node "$@"
