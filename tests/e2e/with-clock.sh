#!/bin/sh
# Runs a command in a Wine session whose clock starts at the given local time and ticks on.
# The session's server is stopped before and after, so no other date leaks in or out.
# Usage: with-clock.sh PREFIX "YYYY-MM-DD hh:mm:ss" COMMAND...
#
# The wall clock is shifted by a fixed offset for every process of the session (the server
# started for it included), through the faketime library. Debian's 32-bit Wine reads the clock
# through 64-bit-time names that library does not know, and hangs with it loaded, so where
# TOLM_CLOCK_SHIFT_DIR names the build's clockshift folder, 32-bit processes get our own
# clock_shift.c there instead: the dynamic loader's $LIB picks the library of each process's
# word size. The monotonic clock stays true everywhere, so that every process agrees on it. The
# faketime wrapper itself is not used: it waits for every process sharing its clock, the Wine
# server too.
prefix=$1; when=$2; shift 2
shim=${TOLM_CLOCK_SHIFT_DIR:-}
# A display of its own, so that the dated runs need not wait for the shared desktop.
. "$(dirname "$0")/../../cmake/xvfb.sh"
start_xvfb 150
stop() { [ -d "$prefix" ] && WINEPREFIX="$prefix" /usr/lib/wine/wineserver -k >/dev/null 2>&1; }
stop
offset=$(( $(date -d "$when" +%s) - $(date +%s) ))
if [ -n "$shim" ]; then
    libs=
    preload="$shim/\$LIB/libtolmclock.so"
else
    libs=/usr/lib/x86_64-linux-gnu/faketime:/usr/lib/i386-linux-gnu/faketime
    preload=libfaketime.so.1
fi
FAKETIME=$(printf '%+d' "$offset") TOLM_CLOCK_SHIFT=$(printf '%+d' "$offset") DONT_FAKE_MONOTONIC=1 \
LD_LIBRARY_PATH="$libs${LD_LIBRARY_PATH:+${libs:+:}$LD_LIBRARY_PATH}" \
LD_PRELOAD="$preload${LD_PRELOAD:+ $LD_PRELOAD}" \
    "$@"
rc=$?
stop
kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
exit $rc
