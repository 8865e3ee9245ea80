#!/usr/bin/env bash
# Runs tests/web/page_tests.mjs against a browser build.
#   tests/web/page_tests.sh BUILD_WEB
set -euo pipefail
root=$(dirname "$0")/../..
VELMOR_WEB=${1:?usage: page_tests.sh BUILD_WEB} \
  exec bash "$root/tools/web/puppeteer.sh" --test "$root/tests/web/page_tests.mjs"
