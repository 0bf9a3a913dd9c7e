# shellcheck shell=bash
# Sourced: decides where Windows programs run. "local" runs them under this
# machine's 32-bit Wine; "vm" in the Windows-test VM, for kernels that cannot
# execute 32-bit x86 code. TOBREL_WINE=local|vm overrides the choice.

# Runs a 93-byte static i386 ELF that only calls exit(0).
tobrel_kernel_runs_i386() {
    local probe status
    probe=$(mktemp)
    printf "$(echo 7f454c46010101000000000000000000020003000100000054800408340000000000000000000000340020000100000000000000010000000000000000800408008004085d0000005d0000000500000000100000b80100000031dbcd80 | sed 's/../\\x&/g')" >"$probe"
    chmod +x "$probe"
    "$probe" 2>/dev/null && status=0 || status=1
    rm -f "$probe"
    return $status
}

if [ -z "${TOBREL_WINE:-}" ]; then
    if tobrel_kernel_runs_i386; then TOBREL_WINE=local; else TOBREL_WINE=vm; fi
fi
export TOBREL_WINE
