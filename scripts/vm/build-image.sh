#!/usr/bin/env bash
# Builds the disk image of the Windows-test VM, once: Debian with a kernel that
# runs 32-bit programs, 32-bit Wine, Xvfb and Mesa's software renderer, and a
# Wine prefix made on a first boot. Windows programs run there when this
# machine's kernel cannot execute 32-bit code itself (see wine-run).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/vm-env.sh"

# One build at a time, whichever checkout asks.
mkdir -p "$(dirname "$vm_dir")"
exec 9>"$vm_dir.lock"
flock 9

stamp=$(cat "$here/build-image.sh" "$here/init.sh" | sha256sum | cut -c1-16)
[ -f "$vm_dir/image.ext4" ] && [ "$(cat "$vm_dir/stamp" 2>/dev/null)" = "$stamp" ] && exit 0

echo "vm: building the Windows-test image in $vm_dir (once; several minutes)"
mkdir -p "$vm_dir"
rootfs="$vm_dir/rootfs"
rm -rf "$rootfs" "$vm_dir/image.ext4" "$vm_dir/stamp"
debootstrap --variant=minbase --include=linux-image-amd64,initramfs-tools,kmod,procps \
    bookworm "$rootfs" http://deb.debian.org/debian >"$vm_dir/debootstrap.log" 2>&1

# Maintainer scripts of the 32-bit packages cannot run here; they are not
# needed for what the tests use, so their configuration is forced through.
in_root() { chroot "$rootfs" /usr/bin/env DEBIAN_FRONTEND=noninteractive "$@"; }
mount -t proc proc "$rootfs/proc"
trap 'umount "$rootfs/proc" 2>/dev/null || true' EXIT
in_root dpkg --add-architecture i386
in_root apt-get update -qq
in_root apt-get install -y -qq --no-install-recommends \
    wine wine32:i386 libgl1:i386 libglx-mesa0:i386 libgl1-mesa-dri:i386 xvfb xauth \
    >"$vm_dir/apt.log" 2>&1 || in_root dpkg --configure -a --force-all >>"$vm_dir/apt.log" 2>&1 || true
in_root apt-get clean
umount "$rootfs/proc"
trap - EXIT

install -m 755 "$here/init.sh" "$rootfs/usr/local/sbin/tobrel-init"
cp "$rootfs"/boot/vmlinuz-* "$vm_dir/vmlinuz"
cp "$rootfs"/boot/initrd.img-* "$vm_dir/initrd.img"
mkfs.ext4 -q -F -L root -d "$rootfs" "$vm_dir/image.ext4" 6G
rm -rf "$rootfs"

# First boot makes the Wine prefix inside the image; later boots leave it as is.
TOBREL_VM_KEEP=1 "$here/vm.sh" start
"$here/vm.sh" stop
echo "$stamp" >"$vm_dir/stamp"
