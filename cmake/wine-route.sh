#!/bin/sh
# Decides, once per run, how this machine runs the shipped 32-bit build under Wine, and prints
# one word:
#   native  the kernel runs 32-bit programs itself;
#   qemu    it does not, and a private user namespace hands them to qemu-i386 (with-i386.sh);
#   none    neither works: the tests fall back to the x86_64 build and every wrapper runs its
#           command as it is.
# Every script that cares (wine-arch.sh, with-i386.sh, hence with-display.sh and the Makefile)
# follows TOLM_WINE_ROUTE once it is set, so the build picked and the way its runs are wrapped
# cannot disagree; the Makefile sets it for the whole run.
#
# Usage: wine-route.sh           the route
#        wine-route.sh --report  the sentence `make test` prints before the Windows tests: which
#                                build they run in and how, and, where the shipped build is not
#                                tested, plainly why
# TOLM_I386=qemu takes the qemu route even where the kernel could run the programs itself.
# TOLM_WINE_LOADER names the 32-bit Wine loader (the tests of this script give a stand-in).
set -u
here=$(dirname "$0")
loader=${TOLM_WINE_LOADER:-/usr/lib/wine/wine}

# Sets route and why.
decide() {
    why=
    if [ "${TOLM_I386:-}" != qemu ] && "$loader" --version >/dev/null 2>&1; then
        route=native
        return
    fi
    if [ ! -x "$loader" ]; then
        route=none why="32-bit Wine ($loader) is not installed"
        return
    fi
    if [ "${TOLM_I386:-}" = qemu ]; then
        lead="TOLM_I386=qemu asked for the qemu route, but"
    else
        lead="this kernel cannot run 32-bit programs (ia32 emulation is off), and"
    fi
    # Docker's default seccomp profile, chroots and kernels with unprivileged user namespaces
    # switched off all refuse this; the qemu route needs it. Asked first, as deps.sh installs
    # no qemu where it is refused.
    if ! err=$(unshare --user --map-root-user --mount true 2>&1); then
        route=none
        why="$lead this environment forbids user namespaces, which the qemu route needs (${err:-unshare failed})"
        return
    fi
    if ! command -v qemu-i386 >/dev/null 2>&1; then
        route=none why="$lead qemu-i386 is not installed"
        return
    fi
    if ! err=$(TOLM_WINE_ROUTE=qemu sh "$here/with-i386.sh" "$loader" --version 2>&1 >/dev/null); then
        route=none
        why="$lead 32-bit Wine did not start under qemu-i386 (${err:-no message}); it needs Linux 6.7 or later and qemu-user 10"
        return
    fi
    route=qemu
}

case "${TOLM_WINE_ROUTE:-}" in
    native | qemu) route=$TOLM_WINE_ROUTE why= ;;
    none) decide; route=none ;;
    *) decide ;;
esac

if [ "${1:-}" != --report ]; then
    echo "$route"
    exit 0
fi
case $route in
    native) echo "Route native: Windows tests run in the win32 build under Wine." ;;
    qemu) echo "Route qemu: Windows tests run in the win32 build under Wine, its 32-bit code emulated by qemu-i386." ;;
    none)
        echo "*** Route none: the shipped 32-bit build is NOT tested on this machine: ${why:-the 32-bit route was switched off (TOLM_WINE_ROUTE=none)}."
        echo "*** Its programs and setup are built; the Windows and end-to-end tests run in the x86_64 build instead." ;;
esac
