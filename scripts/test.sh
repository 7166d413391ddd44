#!/usr/bin/env bash
# Builds the plug-in and the whole test suite and runs it under Wine.
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

ensure_packages
configure_and_build -DTARVEL_BUILD_TESTS=ON
start_wine_session
cd "$BUILD_DIR"
# Serial: the tests that switch the foreground share one desktop.
ctest --output-on-failure --timeout 600 "$@"
