#!/usr/bin/env bash
# Builds the plug-in and runs the demonstration host against it under Wine.
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

ensure_packages
configure_and_build -DTARVEL_BUILD_TESTS=OFF
start_wine_session
cd "$BUILD_DIR/bin"
"$WINE_LOADER" ./tarvel-demo.exe "$@"
