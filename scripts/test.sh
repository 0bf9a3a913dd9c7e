#!/usr/bin/env bash
# The full test run: install what is missing, build what is stale, then run
# every test (native ones directly, Windows ones under Wine) with ctest.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${TOBREL_BUILD_DIR:-$root/build}
"$root/scripts/setup.sh"
"$root/scripts/build.sh"
. "$root/scripts/wine-session.sh"
ctest --test-dir "$build/win32" --output-on-failure -j "$(nproc)" "$@"
