#!/usr/bin/env bash
# Starts, stops and queries the Windows-test VM.
#   vm.sh start    boot it (if not running) and wait until it takes jobs; the
#                  image is not changed (writes go to a throw-away overlay),
#                  so several build trees may each run one at the same time,
#                  unless TOBREL_VM_KEEP=1 (the image's first boot)
#   vm.sh stop     shut it down
#   vm.sh running  exit 0 when it is up
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/vm-env.sh"

running() {
    [ -f "$spool/qemu.pid" ] && kill -0 "$(cat "$spool/qemu.pid")" 2>/dev/null && [ -e "$spool/ready" ]
}

start() {
    running && return 0
    mkdir -p "$spool/jobs"
    rm -f "$spool/ready" "$spool/shutdown" "$spool/qemu.pid"
    rm -rf "$spool"/jobs/*
    # The source and build trees appear in the VM at the same paths.
    local mounts=("$src_root")
    case "$build_root/" in "$src_root"/*) ;; *) mounts+=("$build_root") ;; esac
    local shares=() i=0
    for m in "${mounts[@]}"; do
        shares+=(-virtfs "local,path=$m,mount_tag=share$i,security_model=passthrough,id=share$i")
        i=$((i + 1))
    done
    shares+=(-virtfs "local,path=$spool,mount_tag=spool,security_model=passthrough,id=spool")
    local list snapshot=on
    list=$(IFS=,; echo "${mounts[*]}")
    [ "${TOBREL_VM_KEEP:-0}" = 1 ] && snapshot=off
    qemu-system-x86_64 -machine q35 -accel tcg,thread=multi -cpu max,-smap -smp "$(nproc)" -m 4096 \
        -kernel "$vm_dir/vmlinuz" -initrd "$vm_dir/initrd.img" \
        -append "root=/dev/vda rw console=ttyS0 quiet init=/usr/local/sbin/tobrel-init tobrel.agent=$here/agent.sh tobrel.spool=$spool tobrel.mounts=$list" \
        -drive "file=$vm_dir/image.ext4,format=raw,if=virtio,cache=unsafe,snapshot=$snapshot" \
        "${shares[@]}" -nic none -display none -monitor none -serial "file:$spool/console.log" \
        -pidfile "$spool/qemu.pid" -daemonize
    for _ in $(seq 1800); do
        [ -e "$spool/ready" ] && return 0
        kill -0 "$(cat "$spool/qemu.pid" 2>/dev/null)" 2>/dev/null || break
        sleep 0.5
    done
    echo "vm: did not come up; console:" >&2
    tail -n 30 "$spool/console.log" >&2 || true
    return 1
}

stop() {
    [ -f "$spool/qemu.pid" ] || return 0
    local pid
    pid=$(cat "$spool/qemu.pid")
    touch "$spool/shutdown"
    for _ in $(seq 120); do kill -0 "$pid" 2>/dev/null || break; sleep 0.5; done
    kill "$pid" 2>/dev/null || true
    rm -f "$spool/qemu.pid" "$spool/ready"
}

case "${1:-}" in
start) start ;;
stop) stop ;;
running) running ;;
*) echo "usage: vm.sh start|stop|running" >&2; exit 2 ;;
esac
