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
# As Windows 10, what most users run: Wine reports the version per program,
# and a new prefix says Windows 7.  The value goes again afterwards, so that
# the tests in the same prefix see tarvel-host.exe as the prefix's default.
version_key='HKCU\Software\Wine\AppDefaults\tarvel-host.exe'
# Then once more as Windows 7: its 3-D flip opened with nothing held, and
# the app switcher with composition off.
status=0
for version in win10 win7; do
    "$WINE_LOADER" reg add "$version_key" /v Version /d $version /f >/dev/null 2>&1 || true
    log "the demonstration as $version"
    "$WINE_LOADER" ./tarvel-host.exe --demo "$@" || status=$?
done
"$WINE_LOADER" reg delete "$version_key" /f >/dev/null 2>&1 || true
exit $status
