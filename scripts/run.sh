#!/usr/bin/env bash
# The main job: build the plug-in and run it through the reference host.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${TOBREL_BUILD_DIR:-$root/build}
"$root/scripts/setup.sh"
"$root/scripts/build.sh" >/dev/null
. "$root/scripts/wine-session.sh"
cd "$build/win32/bin"
"$root/scripts/wine-run" tobrel-host.exe --info tobrel.auf
