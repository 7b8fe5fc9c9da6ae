#!/bin/sh
# Starts the widget under Wine against the local demo publisher. With a real display it runs
# until the user ends it; on a virtual one it takes a screenshot, prints its path and stops.
# Usage: run-demo.sh BUILD_DIR (run inside cmake/with-display.sh)
set -u
build=$1
root=$(cd "$(dirname "$0")/.." && pwd)
port=$(sed -n 's/^TOLM_DEMO_PORT:STRING=//p' "$build/CMakeCache.txt")
# PUBLISHED=x.y.z publishes another version than the program's own, so that the update prompt
# opens and its "是" fetches and verifies the demo update. The widget takes only the release the
# page announces, newer than itself: the signed setup program (this same release) ends in
# "下载错误"; PUBLISHED=<the tests' stand-in release, printed below> serves the signed stand-in
# of that release instead, which is taken and started.
generated=$build/site
stand_in=$(sed -n 's/^TOLM_UPDATE_STUB_VERSION:INTERNAL=//p' "$build/CMakeCache.txt")
if [ -n "${PUBLISHED:-}" ] && [ "$PUBLISHED" = "$stand_in" ]; then
    generated=$build/site-stand-in
    mkdir -p "$generated/software"
    cp "$build/update-stub/tolmupdate.exe" "$build/update-stub/tolmupdate.exe.sig" "$generated/software/"
elif [ -n "${PUBLISHED:-}" ]; then
    echo "PUBLISHED=$stand_in serves an update the widget takes; $PUBLISHED ends in 下载错误."
fi
# DPI=n runs the widget in a prefix of its own whose display is set to n dots per inch (144:
# 150 %), so that the widget shows as on a monitor at that scale.
if [ -n "${DPI:-}" ]; then
    export TOLM_WINEPREFIX="$build/wineprefix-dpi"
    "$root/tools/wine-dpi.sh" "$build/wine-run" "$TOLM_WINEPREFIX" "$DPI"
fi
mkdir -p "$generated/tolm"
rm -f "$generated/tolm/motto.html"
if [ -n "${PUBLISHED:-}" ]; then
    sed "s/|[0-9][0-9.]*</|$PUBLISHED</" "$root/site/tolm/motto.html" >"$generated/tolm/motto.html"
fi
python3 "$root/tools/publisher.py" --port "${port:-8734}" --site "$generated" --site "$root/site" &
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
