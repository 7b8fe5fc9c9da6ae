#!/bin/sh
# Runs a command while the scripted publisher listens; the command finds it through
# TOLM_TEST_SERVER (http://127.0.0.1:PORT) and TOLM_REFUSED_PORT (a port nobody listens on).
# Usage: with-server.sh PORT COMMAND...   (PORT 0: any free port)
set -u
port=$1; shift
dir=$(mktemp -d)
python3 "$(dirname "$0")/hostile_server.py" --port "$port" --portfile "$dir/port" &
server=$!
trap 'kill $server 2>/dev/null; rm -rf "$dir"' EXIT INT TERM
i=0
while [ ! -s "$dir/port" ] && [ $i -lt 100 ]; do sleep 0.1; i=$((i + 1)); done
read -r listening refused < "$dir/port" || { echo "the scripted publisher did not start" >&2; exit 1; }
TOLM_TEST_SERVER="http://127.0.0.1:$listening" TOLM_REFUSED_PORT=$refused "$@"
