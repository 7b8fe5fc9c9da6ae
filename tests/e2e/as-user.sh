#!/bin/sh
# Runs a command in a Wine session of its own in which a folder's permissions hold, as they hold
# for a user who is not an administrator, also when the tests run as root.
# Usage: as-user.sh PREFIX COMMAND...
#
# Wine turns a folder's permissions into its Unix mode, and a file is created by the Wine server,
# so the server's rights decide. Root's capability to override the mode is dropped for every
# process of the session, the server started for it included; a server already running for the
# prefix is stopped first, since it would keep the capability.
prefix=$1; shift
stop() { [ -d "$prefix" ] && WINEPREFIX="$prefix" /usr/lib/wine/wineserver -k >/dev/null 2>&1; }
stop
if [ "$(id -u)" = 0 ]; then
    setpriv --bounding-set -dac_override,-dac_read_search,-fowner -- "$@"
else
    "$@"
fi
rc=$?
stop
exit $rc
