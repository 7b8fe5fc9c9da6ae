#!/bin/sh
# Runs a command with one virtual display for the whole run (unless a display is already
# given), where 32-bit Wine can run (cmake/with-i386.sh), then stops every Wine server the run
# started and the display itself.
# Usage: with-display.sh BUILD_DIR COMMAND...
set -u
build=$1; shift
xvfb_pid=
if [ -z "${DISPLAY:-}" ] || [ "${TOLM_FORCE_XVFB:-0}" = 1 ]; then
    . "$(dirname "$0")/xvfb.sh"
    start_xvfb 90
fi

stop() {
    for p in "$build"/wineprefix*; do
        [ -d "$p" ] || continue
        WINEPREFIX="$p" /usr/lib/wine/wineserver -k >/dev/null 2>&1
    done
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
}
trap 'stop; exit 130' INT TERM

sh "$(dirname "$0")/with-i386.sh" "$@"
rc=$?
stop
exit $rc
