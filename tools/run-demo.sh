#!/bin/sh
# Starts the widget under Wine against the local demo publisher. With a real display it runs
# until the user ends it; on a virtual one it takes a screenshot, prints its path and stops.
# Usage: run-demo.sh BUILD_DIR (run inside cmake/with-display.sh)
set -u
build=$1
root=$(cd "$(dirname "$0")/.." && pwd)
port=$(sed -n 's/^TOLM_DEMO_PORT:STRING=//p' "$build/CMakeCache.txt")
# PUBLISHED=x.y.z publishes another version than the program's own, so that the update prompt
# opens and its "是" fetches, verifies and starts the demo update (the signed setup program).
mkdir -p "$build/site/tolm"
rm -f "$build/site/tolm/motto.html"
if [ -n "${PUBLISHED:-}" ]; then
    sed "s/|[0-9][0-9.]*</|$PUBLISHED</" "$root/site/tolm/motto.html" >"$build/site/tolm/motto.html"
fi
# DPI=n runs the widget in a prefix of its own whose display is set to n dots per inch (144:
# 150 %), so that the widget shows as on a monitor at that scale.
if [ -n "${DPI:-}" ]; then
    export TOLM_WINEPREFIX="$build/wineprefix-dpi"
    "$root/tools/wine-dpi.sh" "$build/wine-run" "$TOLM_WINEPREFIX" "$DPI"
fi
python3 "$root/tools/serve_site.py" --port "${port:-8734}" --generated "$build/site" &
server=$!
trap 'kill $server 2>/dev/null' EXIT INT TERM

if [ "${TOLM_VIRTUAL_DISPLAY:-0}" = 1 ]; then
    "$build/wine-run" "$build/app/tolm.exe" &
    tolm=$!
    sleep "${TOLM_DEMO_SECONDS:-8}"
    shot="$build/tolm-screenshot${DPI:+-$DPI}.png"
    import -window root "$shot"
    kill $tolm 2>/dev/null
    echo "screenshot: $shot"
else
    echo "TOLM is running; end it from its tray menu or with Esc."
    "$build/wine-run" "$build/app/tolm.exe"
fi
