#!/bin/sh
# Measures the widget's start-up, memory and idle cost beside two baselines, under Wine, and
# prints the sizes of the shipped (32-bit) programs.
# Usage: startup.sh BUILD_DIR [SHIPPED_BUILD_DIR] (inside cmake/with-display.sh)
# RUNS (default 5) start-ups per program; IDLE_SECONDS (default 30, 0 to skip) of idling.
set -eu
build=$1
shipped=${2:-}
idle=${IDLE_SECONDS:-30}
cmake --build "$build" --target tolm bench_minimal bench_gdiplus bench_measure >/dev/null
if [ -n "$shipped" ]; then
    cmake --build "$shipped" --target tolm jw >/dev/null
    for p in tolm jw; do
        printf '%s.exe (shipped, 32-bit): %s bytes\n' "$p" "$(stat -c %s "$shipped/app/$p.exe")"
    done
fi
# A pixel of the card in the background picture, which the first painted frame shows.
colour=$(convert "$(dirname "$0")/../tolm/ui/back.png" -format '%[hex:u.p{30,200}]' info: | cut -c1-6)
winpath() { echo "Z:$1" | tr / '\\'; }
"$build/wine-run" "$build/bin/bench_measure.exe" "$(winpath "$build/app/tolm.exe")" \
    "$(winpath "$build/bin/bench_minimal.exe")" "$(winpath "$build/bin/bench_gdiplus.exe")" "$colour" \
    "${RUNS:-5}" "$idle"
