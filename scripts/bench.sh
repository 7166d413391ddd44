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
# Wine reports the version per program: flip_bench runs as Windows 7, and
# copies of it as Windows 8.1 and 10 (six keys at a press, six and four).
cp -f flip_bench.exe flip_bench_win81.exe
cp -f flip_bench.exe flip_bench_win10.exe
for copy in flip_bench:win7 flip_bench_win81:win81 flip_bench_win10:win10; do
    "$WINE_LOADER" reg add "HKCU\\Software\\Wine\\AppDefaults\\${copy%%:*}.exe" /v Version /d "${copy##*:}" /f >/dev/null 2>&1 || true
done
status=0
for bench in *_bench.exe flip_bench_win81.exe flip_bench_win10.exe; do
    [ -e "$bench" ] || continue
    log "running $bench"
    "$WINE_LOADER" "./$bench" "$@" || status=1
done
exit $status
