#!/usr/bin/env bash
# Builds both trees: native (tools, pure C++ and its tests) and 32-bit Windows
# (plug-in, reference host, Windows tests). Only what is stale is rebuilt.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${TOBREL_BUILD_DIR:-$root/build}

[ -f "$build/native/CMakeCache.txt" ] ||
    cmake -S "$root" -B "$build/native" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build/native"

[ -f "$build/win32/CMakeCache.txt" ] ||
    cmake -S "$root" -B "$build/win32" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" -DTOBREL_NATIVE_DIR="$build/native" >/dev/null
cmake --build "$build/win32"
