#!/bin/sh
# Runs a command while the scripted publisher (tools/publisher.py) listens. The command finds it
# through TOLM_TEST_SERVER (http://127.0.0.1:PORT, or https://localhost:PORT when the publisher
# is given --tls) and TOLM_REFUSED_PORT (a port nobody listens on), and its control file and
# request log through TOLM_PUBLISHER_CONTROL and TOLM_PUBLISHER_LOG, as Windows paths (drive Z:
# is the root of the file system under Wine).
# Usage: with-publisher.sh PORT [PUBLISHER-OPTION...] -- COMMAND...   (PORT 0: any free port)
set -u
port=$1; shift
options=
address=http://127.0.0.1
while [ $# -gt 0 ] && [ "$1" != -- ]; do
    [ "$1" = --tls ] && address=https://localhost
    options="$options $1"; shift
done
[ $# -gt 0 ] && shift
dir=$(mktemp -d)
# shellcheck disable=SC2086 # the options are words without blanks
python3 "$(dirname "$0")/../../tools/publisher.py" --port "$port" --portfile "$dir/port" \
    --control "$dir/control" --log "$dir/log" $options &
server=$!
trap 'kill $server 2>/dev/null; wait $server 2>/dev/null; rm -rf "$dir"' EXIT INT TERM
i=0
while [ ! -s "$dir/port" ] && [ $i -lt 200 ]; do
    kill -0 $server 2>/dev/null || { echo "with-publisher: the publisher did not start" >&2; exit 1; }
    sleep 0.1; i=$((i + 1))
done
read -r listening refused < "$dir/port" || { echo "with-publisher: the publisher did not start" >&2; exit 1; }
windows() { printf 'Z:%s' "$1" | tr / '\\'; }
TOLM_TEST_SERVER="$address:$listening" TOLM_REFUSED_PORT=$refused \
TOLM_PUBLISHER_CONTROL=$(windows "$dir/control") TOLM_PUBLISHER_LOG=$(windows "$dir/log") "$@"
