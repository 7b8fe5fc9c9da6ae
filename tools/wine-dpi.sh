#!/bin/sh
# Sets the DPI of a Wine prefix, as a user sets the scale in Windows, and stops the prefix's
# server so that the next program starts at that DPI. Setting the DPI it already has costs
# nothing.
# Usage: wine-dpi.sh WINE_RUN PREFIX DPI     (WINE_RUN: a build's wine-run)
set -eu
run=$1 prefix=$2 dpi=$3
mark="$prefix/.tolm-dpi"
[ -f "$mark" ] && [ "$(cat "$mark")" = "$dpi" ] && exit 0
TOLM_WINEPREFIX="$prefix" "$run" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null
# Killed, not waited for: the server writes the registry as it goes, and the session's services
# would keep it up for a minute.
WINEPREFIX="$prefix" /usr/lib/wine/wineserver -k 2>/dev/null || true
echo "$dpi" >"$mark"
