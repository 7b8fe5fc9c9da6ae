#!/bin/sh
# Runs a command in a Wine session whose clock starts at the given local time and ticks on.
# The session's server is stopped before and after, so no other date leaks in or out.
# Usage: with-clock.sh PREFIX "YYYY-MM-DD hh:mm:ss" COMMAND...
#
# The clock is shifted by a fixed offset for every process of the session (the server started
# for it included), through the faketime library, for 64- and 32-bit Wine alike. The faketime
# wrapper itself is not used: it waits for every process sharing its clock, the Wine server too.
prefix=$1; when=$2; shift 2
# A display of its own, so that the dated runs need not wait for the shared desktop.
. "$(dirname "$0")/../../cmake/xvfb.sh"
start_xvfb 150
stop() { [ -d "$prefix" ] && WINEPREFIX="$prefix" /usr/lib/wine/wineserver -k >/dev/null 2>&1; }
stop
offset=$(( $(date -d "$when" +%s) - $(date +%s) ))
FAKETIME=$(printf '%+d' "$offset") \
LD_LIBRARY_PATH="/usr/lib/x86_64-linux-gnu/faketime:/usr/lib/i386-linux-gnu/faketime${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}" \
LD_PRELOAD="libfaketime.so.1${LD_PRELOAD:+ $LD_PRELOAD}" \
    "$@"
rc=$?
stop
kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
exit $rc
