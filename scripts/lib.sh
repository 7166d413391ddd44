# Shared set-up for the build, test, demo and benchmark scripts.  Sourced, not run.
#
# Everything a fresh Debian 12 machine lacks is installed with apt-get (clang,
# lld and llvm 19 with Wine's headers for the MSVC-ABI half, mingw-w64 for the
# rest, nsis for the setup program, osslsigncode to sign it, xdotool for real
# input, python3-jsonschema and python3-yaml to check the package's manifests); the build goes to $BUILD_DIR; Wine runs in a prefix of its own under the build
# folder, on a private Xvfb display, with one persistent wineserver.  Both are
# stopped on every exit path by the trap that start_wine_session sets.

set -euo pipefail

ROOT_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD_DIR=${TARVEL_BUILD_DIR:-$ROOT_DIR/build}
WINE_LOADER=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver

log() { printf '[tarvel] %s\n' "$*" >&2; }

ensure_packages() {
    local missing=()
    command -v cmake >/dev/null || missing+=(cmake)
    command -v x86_64-w64-mingw32-g++-posix >/dev/null || missing+=(g++-mingw-w64-x86-64)
    [ -x "$WINE_LOADER" ] || missing+=(wine64)
    command -v Xvfb >/dev/null || missing+=(xvfb xauth)
    [ -f /usr/src/googletest/CMakeLists.txt ] || missing+=(googletest)
    command -v clang++-19 >/dev/null || missing+=(clang-19)
    command -v lld-link-19 >/dev/null || missing+=(lld-19)
    command -v llvm-rc-19 >/dev/null || missing+=(llvm-19)
    [ -f /usr/include/wine/wine/windows/windows.h ] || missing+=(libwine-dev)
    command -v zip >/dev/null || missing+=(zip)
    command -v makensis >/dev/null || missing+=(nsis)
    command -v osslsigncode >/dev/null || missing+=(osslsigncode)
    command -v openssl >/dev/null || missing+=(openssl)
    command -v xdotool >/dev/null || missing+=(xdotool)
    # Debian's own python3, whichever python3 PATH names first: the package
    # manifests' check reads YAML and JSON schemas with these.
    /usr/bin/python3 -c 'import jsonschema' 2>/dev/null || missing+=(python3-jsonschema)
    /usr/bin/python3 -c 'import yaml' 2>/dev/null || missing+=(python3-yaml)
    if [ ${#missing[@]} -gt 0 ]; then
        log "installing: ${missing[*]}"
        export DEBIAN_FRONTEND=noninteractive
        apt-get update -qq
        apt-get install -y -qq "${missing[@]}" >/dev/null
    fi
}

configure_and_build() {
    cmake -S "$ROOT_DIR" -B "$BUILD_DIR" \
        -DCMAKE_TOOLCHAIN_FILE="$ROOT_DIR/cmake/clang-msvc.cmake" "$@" >/dev/null
    cmake --build "$BUILD_DIR" -j "$(nproc)"
}

XVFB_PID=
stop_wine_session() {
    if [ -n "${WINEPREFIX:-}" ] && [ -x "$WINESERVER" ]; then
        "$WINESERVER" -k >/dev/null 2>&1 || true
        "$WINESERVER" -w >/dev/null 2>&1 || true
        # The setup tests' prefix (tests/helpers/setup_prefix.sh), if a run
        # was cut short before they stopped it.
        if [ -d "$BUILD_DIR/setup-wineprefix" ]; then
            bash "$ROOT_DIR/tests/helpers/setup_prefix.sh" stop "$BUILD_DIR/setup-wineprefix" || true
        fi
    fi
    if [ -n "$XVFB_PID" ]; then
        kill "$XVFB_PID" >/dev/null 2>&1 || true
        wait "$XVFB_PID" 2>/dev/null || true
        XVFB_PID=
    fi
}

# Starts Xvfb on a free display and a persistent wineserver for a prefix under
# the build folder (created on first use), and exports DISPLAY, WINEPREFIX,
# WINEDEBUG and WINEDLLOVERRIDES for everything run afterwards.
start_wine_session() {
    trap stop_wine_session EXIT
    trap 'exit 130' INT TERM

    local display_file
    display_file=$(mktemp)
    Xvfb -displayfd 9 -nolisten tcp -screen 0 1280x800x24 9>"$display_file" >/dev/null 2>&1 &
    XVFB_PID=$!
    for _ in $(seq 100); do
        [ -s "$display_file" ] && break
        sleep 0.1
    done
    [ -s "$display_file" ] || { log "Xvfb did not start"; exit 1; }
    export DISPLAY=":$(head -n1 "$display_file")"
    rm -f "$display_file"

    export WINEPREFIX="$BUILD_DIR/wineprefix"
    export WINEARCH=win64
    export WINEDEBUG=-all
    # No Mono or Gecko installers, and no Linux menu entries for shortcuts
    # (the setup program makes one): nothing here needs them.
    export WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe="
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        log "creating the Wine prefix $WINEPREFIX"
        "$WINE_LOADER" wineboot -i >/dev/null 2>&1
        "$WINESERVER" -w
    fi
    "$WINESERVER" -p
    # Start Wine's own background processes (services, the desktop) now, with
    # their output going nowhere: started by a test, they would inherit its
    # output pipe and ctest would wait for them to the time-out.
    "$WINE_LOADER" wineboot >/dev/null 2>&1 </dev/null
    log "Wine ready on display $DISPLAY"
}

# Puts the stand-in dwmapi.dll (built to demo-system32/) into the prefix's
# system folder until the session ends, the way the tests' fixture does: Wine
# has no desktop composition, and the stand-in answers "on" to a process
# whose TARVEL_TEST_COMPOSITION is "on" (and "off" otherwise).  Call after
# start_wine_session.
use_stand_in_dwmapi() {
    local swap="$ROOT_DIR/tests/helpers/system32_dwmapi.cmake"
    trap "cmake -DACTION=restore -P '$swap' >/dev/null 2>&1 || true; stop_wine_session" EXIT
    cmake -DACTION=install -DFAKE="$BUILD_DIR/demo-system32/dwmapi.dll" -P "$swap"
}
