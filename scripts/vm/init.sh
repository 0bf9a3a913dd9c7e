#!/bin/bash
# PID 1 of the Windows-test VM, installed in its image. Mounts the system
# file systems and the host directories it is given (at the same paths as on
# the host), then hands over to the job agent of the shared source tree, so
# that the agent can change without a new image.
export PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin

mount -t proc proc /proc
mount -t sysfs sys /sys 2>/dev/null
mount -t devtmpfs dev /dev 2>/dev/null
mkdir -p /dev/pts /dev/shm
mount -t devpts devpts /dev/pts
mount -t tmpfs tmpfs /dev/shm
mount -t tmpfs tmpfs /tmp
mount -t tmpfs tmpfs /run
echo 1 >/proc/sys/kernel/sysrq
hostname tobrel-vm
modprobe 9pnet_virtio
modprobe 9p

arg() { tr ' ' '\n' </proc/cmdline | sed -n "s/^$1=//p"; }
# The shared trees use the page cache: Wine reads a program's sections with
# one pread each and takes a short read as the end, and 9p without the page
# cache returns at most msize bytes a read. The agent keeps them coherent.
# The spool is mounted on top without caching, so that jobs and results pass
# between host and VM at once.
i=0
for path in $(arg tobrel.mounts | tr ',' ' '); do
    mkdir -p "$path"
    mount -t 9p -o trans=virtio,version=9p2000.L,msize=512000,access=any,cache=loose "share$i" "$path"
    i=$((i + 1))
done
spool=$(arg tobrel.spool)
mkdir -p "$spool"
mount -t 9p -o trans=virtio,version=9p2000.L,msize=512000,access=any spool "$spool"

agent=$(arg tobrel.agent)
[ -x "$agent" ] && "$agent" "$spool"
sync
echo o >/proc/sysrq-trigger
