#!/usr/bin/env bash
# Builds the plug-in and the sample host and runs the host's scripted
# demonstration (tarvel-host.exe --demo) against it under Wine, with the
# stand-in dwmapi.dll so that the window flip (composition on) and the app
# switcher (off) can both be shown.  Extra arguments go to tarvel-host.exe
# (for instance another plug-in's path).
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

ensure_packages
configure_and_build -DTARVEL_BUILD_TESTS=OFF
start_wine_session
use_stand_in_dwmapi
# The applications the demonstration brings to the front stay in the build
# (helpers/), never beside tarvel-host.exe; Wine's drive Z: is the root.
export TARVEL_DEMO_HELPERS="Z:$(printf '%s' "$BUILD_DIR/helpers" | tr / '\\')"
cd "$BUILD_DIR/bin"
"$WINE_LOADER" ./tarvel-host.exe --demo "$@"
