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
log=$build/run-demo.log
: >"$log"
python3 "$root/tools/publisher.py" --port "${port:-8734}" --site "$generated" --site "$root/site" --log "$log" &
server=$!
trap 'kill $server 2>/dev/null' EXIT INT TERM

# Whether a window whose line in the display's window tree holds TEXT shows on the display
# (Wine names a program's windows by their caption, then the program).
shows() {
    for id in $(xwininfo -root -tree 2>/dev/null | grep -F -- "$1" | sed -n 's/^ *\(0x[0-9a-f]*\) .*/\1/p'); do
        xwininfo -id "$id" 2>/dev/null | grep -q 'Map State: IsViewable' && return 0
    done
    return 1
}

if [ "${TOLM_VIRTUAL_DISPLAY:-0}" = 1 ]; then
    "$build/wine-run" "$build/app/tolm.exe" &
    tolm=$!
    # The screenshot waits for the widget itself: a fresh prefix's set-up alone takes half a
    # minute or more, with Wine's own box on the screen meanwhile.
    limit=${TOLM_DEMO_WAIT:-300}
    start=$(date +%s)
    while ! shows '"Tolm": ("tolm.exe"' || shows '("wineboot.exe"'; do
        if ! kill -0 $tolm 2>/dev/null; then
            wait $tolm
            echo "run-demo: tolm.exe ended (exit code $?) before its window showed; no screenshot" >&2
            exit 1
        fi
        if [ $(($(date +%s) - start)) -ge "$limit" ]; then
            echo "run-demo: the widget's window did not show within $limit s; no screenshot" >&2
            kill $tolm 2>/dev/null
            exit 1
        fi
        sleep 0.5
    done
    # Then for its motto page (asked for at start, from the loopback publisher: at once, unless
    # the widget cannot reach it), and for the painting of what it brought.
    i=0
    while ! grep -q 'GET /tolm/motto.html' "$log" && [ $i -lt 60 ]; do sleep 0.5; i=$((i + 1)); done
    sleep 2
    shot="$build/tolm-screenshot${DPI:+-$DPI}.png"
    import -window root "$shot"
    kill $tolm 2>/dev/null
    echo "screenshot: $shot"
else
    echo "TOLM is running; end it from its tray menu or with Esc."
    "$build/wine-run" "$build/app/tolm.exe"
fi
