#!/usr/bin/env bash
# Builds the plug-in and the benchmark programs and runs every benchmark under
# Wine; each prints its own figures.
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

ensure_packages
configure_and_build -DTARVEL_BUILD_TESTS=ON -DTARVEL_BUILD_BENCH=ON
start_wine_session
# The flip and the monitor need composition on, which Wine lacks.
use_stand_in_dwmapi
cd "$BUILD_DIR/bin"
status=0
for bench in *_bench.exe; do
    [ -e "$bench" ] || continue
    log "running $bench"
    "$WINE_LOADER" "./$bench" "$@" || status=1
done
exit $status
