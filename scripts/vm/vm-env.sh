# shellcheck shell=bash
# Shared settings of the Windows-test VM scripts (sourced).
home=${HOME:-$(getent passwd "$(id -u)" | cut -d: -f6)}
vm_dir=${TOBREL_VM_DIR:-${XDG_CACHE_HOME:-$home/.cache}/tobrel/vm}
src_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build_root=${TOBREL_BUILD_DIR:-$src_root/build}
spool=${TOBREL_VM_SPOOL:-$build_root/vm-spool}
