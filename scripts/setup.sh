#!/usr/bin/env bash
# Installs what the build and the tests need, if anything is missing. Safe to
# run again: it only calls apt when a package is absent.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/wine-mode.sh"

packages=(cmake ninja-build g++ libgtest-dev g++-mingw-w64-i686-posix binutils-mingw-w64-i686)
if [ "$TOBREL_WINE" = local ]; then
    packages+=(wine wine32:i386 xvfb xauth)
else
    packages+=(qemu-system-x86 debootstrap e2fsprogs)
fi

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    if [ "$(id -u)" -ne 0 ]; then
        echo "setup: missing ${missing[*]}; run as root to install them" >&2
        exit 1
    fi
    echo "setup: installing ${missing[*]}"
    [ "$TOBREL_WINE" = local ] && dpkg --add-architecture i386
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${packages[@]}" >/dev/null
fi

[ "$TOBREL_WINE" = vm ] && "$root/scripts/vm/build-image.sh"
exit 0
