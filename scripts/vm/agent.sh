#!/bin/bash
# The job agent of the Windows-test VM, started by its init with the spool
# directory. Starts an X server and a persistent wineserver, makes the Wine
# prefix on first use, then runs the jobs that the host drops into the spool,
# several at a time, until the host asks it to stop.
#
# A job is a directory NAME.job in SPOOL/jobs with the files
#   cwd   working directory
#   argv  the command, NUL-separated: a Windows program and its arguments, or
#         "--shell" and a shell command line that runs in the VM itself
#   env   extra environment, NUL-separated KEY=VALUE
# The agent renames it NAME.run, runs it with stdout and stderr into the files
# out and err, and writes the exit status into rc last.
set -u
spool=$1

export HOME=/root LANG=C.UTF-8
export WINEPREFIX=/var/lib/tobrel/wineprefix WINEARCH=win32 WINEDEBUG=-all
# No Mono or Gecko installers, and a crash ends the program at once instead of
# waiting in the debugger.
export WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d" DISPLAY=:0
Xvfb :0 -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
for _ in $(seq 600); do [ -e /tmp/.X11-unix/X0 ] && break; sleep 0.1; done

if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$WINEPREFIX"
    wineboot -i >/dev/null 2>&1
    wineserver -w
    sync
fi
wineserver -p
# Start Wine's own services now, so that they do not inherit the output files
# of the first job and its programs start faster.
wine cmd /c exit >/dev/null 2>&1 </dev/null

# The shared trees are cached in the VM: each job starts with the host's
# current files and ends with its own written back.
run_job() {
    local dir=$1
    echo 3 >/proc/sys/vm/drop_caches
    # The program's status goes into a file of its own, so that it does not
    # depend on which shell reaped the process first.
    (
        cd "$(cat "$dir/cwd")" || { echo 125 >"$dir/status"; exit; }
        while IFS= read -r -d '' kv; do export "$kv"; done <"$dir/env"
        mapfile -d '' argv <"$dir/argv"
        if [ "${argv[0]}" = --shell ]; then
            bash -c "${argv[1]}" >"$dir/out" 2>"$dir/err" </dev/null
        else
            wine "${argv[@]}" >"$dir/out" 2>"$dir/err" </dev/null
        fi
        echo $? >"$dir/status"
    ) &
    local pid=$!
    # The host cancels a job (its caller was stopped) by creating "cancel".
    while kill -0 "$pid" 2>/dev/null; do
        if [ -e "$dir/cancel" ]; then
            pkill -KILL -P "$pid" 2>/dev/null
            kill -KILL "$pid" 2>/dev/null
        fi
        sleep 0.1
    done
    wait "$pid" 2>/dev/null
    local status
    status=$(cat "$dir/status" 2>/dev/null)
    sync
    echo "${status:-137}" >"$dir/rc.tmp"
    mv "$dir/rc.tmp" "$dir/rc"
}

touch "$spool/ready"
shopt -s nullglob
while [ ! -e "$spool/shutdown" ]; do
    for job in "$spool"/jobs/*.job; do
        run="${job%.job}.run"
        mv "$job" "$run" && run_job "$run" &
    done
    sleep 0.05
done
wineserver -k
