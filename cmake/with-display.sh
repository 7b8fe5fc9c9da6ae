#!/bin/sh
# Runs a command with one virtual display for the whole run (unless a display is already
# given), then stops every Wine server the run started and the display itself.
# Usage: with-display.sh BUILD_DIR COMMAND...
set -u
build=$1; shift
xvfb_pid=
if [ -z "${DISPLAY:-}" ] || [ "${TOLM_FORCE_XVFB:-0}" = 1 ]; then
    n=90
    while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb_pid=$!
    i=0
    while [ ! -e "/tmp/.X11-unix/X$n" ] && [ $i -lt 100 ]; do sleep 0.1; i=$((i + 1)); done
    export DISPLAY=":$n" TOLM_VIRTUAL_DISPLAY=1
fi

stop() {
    for p in "$build"/wineprefix*; do
        [ -d "$p" ] || continue
        WINEPREFIX="$p" /usr/lib/wine/wineserver -k >/dev/null 2>&1
    done
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
}
trap 'stop; exit 130' INT TERM

"$@"
rc=$?
stop
exit $rc
