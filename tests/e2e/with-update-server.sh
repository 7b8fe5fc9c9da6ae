#!/bin/sh
# Runs a command while the scripted update publisher listens on the demo port.
# Usage: with-update-server.sh PORT WORK-DIR SIGNED-UPDATE OTHER-SIGNATURE COMMAND...
# The control file and the request log are WORK-DIR/update-control and WORK-DIR/update-log.
set -u
port=$1 work=$2 update=$3 other=$4; shift 4
mkdir -p "$work"
rm -f "$work/update-control" "$work/update-log" "$work/update-ready"
python3 "$(dirname "$0")/update_server.py" --port "$port" --control "$work/update-control" \
    --log "$work/update-log" --update "$update" --other-sig "$other" --ready "$work/update-ready" &
server=$!
trap 'kill $server 2>/dev/null' EXIT INT TERM
i=0
while [ ! -e "$work/update-ready" ] && [ $i -lt 100 ]; do
    kill -0 $server 2>/dev/null || { echo "with-update-server: the server did not start" >&2; exit 1; }
    sleep 0.1; i=$((i + 1))
done
"$@"
