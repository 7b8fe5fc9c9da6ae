#!/bin/sh
# The Wine prefix's readiness (cmake/wine-prefix.sh) against fake prefixes, with stand-ins for the
# loader (whose wineboot -i makes a whole prefix, or one cut short) and the server.
# Usage: wine_prefix_test.sh SOURCE-DIR SCRATCH-DIR
set -u
src=$1 work=$2
rm -rf "$work" && mkdir -p "$work"
# make_prefix DIR whole|half|gutted: what a finished set-up leaves; one killed before it recorded
# the user's profile; a finished one that has since lost a system library.
make_prefix() {
    mkdir -p "$1/drive_c/windows/system32" && touch "$1/user.reg" "$1"/drive_c/windows/system32/kernel32.dll
    [ "$2" = gutted ] || touch "$1/drive_c/windows/system32/user32.dll"
    printf '%s\n' '[Software\\Classes\\CLSID]' >"$1/system.reg"
    [ "$2" = half ] ||
        printf '%s\n' '[Software\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\S-1-5-21-0-0-0-1000]' >>"$1/system.reg"
}
printf '#!/bin/sh\necho "$*" >>"$WINEPREFIX/../calls"\n. "%s/stub.sh"\nmake_prefix "$WINEPREFIX" "$STUB_SETUP"\n[ "$STUB_SETUP" = whole ]\n' "$work" >"$work/wine"
# The server, as the real one, fails to end a session where none runs.
printf '#!/bin/sh\necho "server $*" >>"$WINEPREFIX/../calls"\n[ "$1" != -k ]\n' >"$work/wineserver"
sed -n '/^make_prefix()/,/^}/p' "$0" >"$work/stub.sh"
chmod +x "$work/wine" "$work/wineserver"
failures=0
# case         before        in-build set-up rc ready calls (wineboot, server)             says
while read -r case before inbuild setup rc ready calls says; do
    dir=$work/$case/build && mkdir -p "$dir" && p=$dir/wineprefix
    [ "$inbuild" = yes ] && touch "$dir/CMakeCache.txt"
    case $before in none) ;; *) make_prefix "$p" "${before%-marked}"; touch "$p/keep" ;; esac
    case $before in *-marked) touch "$p/.tolm-ready" ;; esac
    got=$(export WINEPREFIX=$p WINELOADER=$work/wine TOLM_WINESERVER=$work/wineserver STUB_SETUP=$setup
        . "$src/cmake/wine-prefix.sh"; (set -e; prefix_ready "$p" || prefix_set_up) 2>&1; echo "rc=$?")
    r=no; (. "$src/cmake/wine-prefix.sh"; prefix_ready "$p") && r=yes
    c=$(tr '\n ' ',_' 2>/dev/null <"$dir/calls")
    if [ "${got##*rc=}" != "$rc" ] || [ "$r" != "$ready" ] || [ "${c:-none}" != "$calls" ] ||
        ! echo "$got" | grep -q -- "$(echo "$says" | tr _ ' ')"; then
        echo "FAIL ($case): rc ${got##*rc=}, ready $r, calls $c, said: $got"; failures=$((failures + 1))
    fi
done <<'T'
fresh          none          yes  whole  0  yes  wineboot_-i,server_-w,                            rc=0
ready          whole-marked  yes  whole  0  yes  none                                              rc=0
marked_half    half-marked   yes  whole  0  yes  server_-k,wineboot_-i,server_-w,                  left_half_set_up;_making_it_again
unmarked_half  half          yes  whole  0  yes  server_-k,wineboot_-i,server_-w,                  left_half_set_up
gutted         gutted-marked yes  whole  0  yes  server_-k,wineboot_-i,server_-w,                  making_it_again
cut_short      none          yes  half   1  no   wineboot_-i,server_-w,                            could_not_set_up
foreign_half   half          no   whole  1  no   none                                              not_a_finished_Wine_prefix
T
# A half-made prefix is made anew, not patched; one not of ours is left as it was.
[ ! -f "$work/marked_half/build/wineprefix/keep" ] && [ -f "$work/foreign_half/build/wineprefix/keep" ] ||
    { echo "FAIL: a half-made prefix was kept, or one not of ours removed"; failures=$((failures + 1)); }
rm -rf "$work"
[ $failures = 0 ]
