# Sourced by wine-run: the Wine prefix, set up once, and set up again when its set-up never
# finished. Wine stamps a prefix as current before it installs anything into it, so a set-up cut
# short (a run ended during Wine's first minute) stays half made for good: programs then fail to
# start (exit code 53) and every screenshot is black.
# Needs WINEPREFIX and WINELOADER; TOLM_WINESERVER names the server (a stand-in in its test).

# What a finished set-up leaves: the system's libraries, and a registry written out that holds
# the user's profile, the last thing wineboot -i records.
prefix_whole() {
    [ -f "$1/drive_c/windows/system32/kernel32.dll" ] && [ -f "$1/drive_c/windows/system32/user32.dll" ] &&
        [ -f "$1/user.reg" ] && grep -qF 'CurrentVersion\\ProfileList\\S-1-5-' "$1/system.reg" 2>/dev/null
}
prefix_ready() { [ -f "$1/.tolm-ready" ] && prefix_whole "$1"; }

# Under the prefix's lock, with descriptor 9 on it (closed for every Wine process, which would
# otherwise hold the lock for as long as its session lives). Safe under set -e.
prefix_set_up() {
    server=${TOLM_WINESERVER:-/usr/lib/wine/wineserver}
    if [ -d "$WINEPREFIX" ]; then
        # Only a prefix of ours is removed: one marked by this script or inside a build folder.
        if [ ! -f "$WINEPREFIX/.tolm-ready" ] && [ ! -f "$WINEPREFIX/../CMakeCache.txt" ]; then
            echo "wine-run: $WINEPREFIX is not a finished Wine prefix; remove it or name another" >&2
            return 1
        fi
        echo "wine-run: the Wine prefix $WINEPREFIX was left half set up; making it again" >&2
        "$server" -k </dev/null >/dev/null 2>&1 9>&- || :
        rm -rf "$WINEPREFIX" || return 1
    fi
    mkdir -p "$WINEPREFIX" || return 1
    rc=0
    "$WINELOADER" wineboot -i </dev/null >/dev/null 2>&1 9>&- || rc=$?
    # The server writes the registry when its session ends; one that lingers is stopped.
    timeout 300 "$server" -w </dev/null >/dev/null 2>&1 9>&- ||
        "$server" -k </dev/null >/dev/null 2>&1 9>&- || :
    if [ $rc != 0 ] || ! prefix_whole "$WINEPREFIX"; then
        echo "wine-run: could not set up the Wine prefix $WINEPREFIX (wineboot -i: exit code $rc)" >&2
        return 1
    fi
    touch "$WINEPREFIX/.tolm-ready"
}
