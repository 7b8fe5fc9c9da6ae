#!/bin/sh
# Measures the widget's start-up and memory beside a minimal Win32 program, under Wine.
# Usage: startup.sh BUILD_DIR (inside cmake/with-display.sh)
set -eu
build=$1
cmake --build "$build" --target tolm bench_minimal bench_measure >/dev/null
# A pixel of the card in the background picture, which the first painted frame shows.
colour=$(convert "$(dirname "$0")/../tolm/ui/back.png" -format '%[hex:u.p{30,200}]' info: | cut -c1-6)
winpath() { echo "Z:$1" | tr / '\\'; }
"$build/wine-run" "$build/bin/bench_measure.exe" "$(winpath "$build/app/tolm.exe")" \
    "$(winpath "$build/bin/bench_minimal.exe")" "$colour" "${RUNS:-5}"
