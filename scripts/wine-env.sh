# shellcheck shell=bash
# Sourced by the scripts that run Windows programs: one Wine prefix for the
# whole build, quiet Wine, and an X display (an Xvfb of our own when none is
# given; it is stopped when the sourcing script exits).
root=${root:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}
build=${TOBREL_BUILD_DIR:-$root/build}

export WINEPREFIX=${WINEPREFIX:-$build/wineprefix}
export WINEARCH=win32
export WINEDEBUG=${WINEDEBUG:--all}
# No Mono or Gecko installers, and a crash ends the program at once instead
# of waiting in the debugger.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree,mshtml=;winedbg.exe=d"}

tobrel_stop_display() {
    wineserver -k 2>/dev/null || true
    [ -n "${tobrel_xvfb_pid:-}" ] && kill "$tobrel_xvfb_pid" 2>/dev/null || true
}

if [ -z "${DISPLAY:-}" ]; then
    for n in $(seq 90 120); do
        [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
        Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
        tobrel_xvfb_pid=$!
        for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.05; done
        export DISPLAY=":$n"
        trap tobrel_stop_display EXIT
        break
    done
fi

if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "wine: creating the prefix (once)"
    mkdir -p "$WINEPREFIX"
    wineboot -i >/dev/null 2>&1
    wineserver -w
fi
