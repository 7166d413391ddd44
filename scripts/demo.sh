#!/usr/bin/env bash
# Builds the plug-in and the sample host and runs the host's scripted
# demonstration (tarvel-host.exe --demo) against it under Wine.  Extra
# arguments go to tarvel-host.exe (for instance another plug-in's path).
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

ensure_packages
configure_and_build -DTARVEL_BUILD_TESTS=OFF
start_wine_session

# Wine's desktop has no composition: put the stand-in dwmapi.dll in the
# prefix's system folder for the run, the way the tests do, so that the demo
# can show the window flip (composition on) and the app switcher (off).
DWMAPI_SWAP="$ROOT_DIR/tests/helpers/system32_dwmapi.cmake"
restore_dwmapi() { cmake -DACTION=restore -P "$DWMAPI_SWAP" >/dev/null 2>&1 || true; }
trap 'restore_dwmapi; stop_wine_session' EXIT
cmake -DACTION=install -DFAKE="$BUILD_DIR/demo-system32/dwmapi.dll" -P "$DWMAPI_SWAP"

cd "$BUILD_DIR/bin"
"$WINE_LOADER" ./tarvel-host.exe --demo "$@"
