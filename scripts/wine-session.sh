# shellcheck shell=bash
# Sourced by the scripts that run several Windows programs: gets Wine ready
# once (a prefix and display locally, or the Windows-test VM) and puts it
# away when the sourcing script exits.
. "$root/scripts/wine-mode.sh"
if [ "$TOBREL_WINE" = local ]; then
    . "$root/scripts/wine-env.sh"
else
    if ! "$root/scripts/vm/vm.sh" running; then
        "$root/scripts/vm/vm.sh" start
        trap '"$root/scripts/vm/vm.sh" stop' EXIT
    fi
fi
