#!/usr/bin/env bash
# Builds the release package: tarvel.dll, the SDK headers and the sample host
# installed into build/package/Tarvel/ and zipped (under a plain Tarvel/ folder) as
# build/package/tarvel-<version>-win64.zip, and beside it the setup program
# build/package/tarvel-<version>-setup.exe, which every build makes from the
# `runtime` component (tools/setup).  The version is the one in tarvel.dll's
# version record.  Beside them go the manifests that winget (for the setup
# program) and Scoop (for the ZIP) install from, in build/package/manifests/
# (tools/setup/write_manifests.sh): TARVEL_DOWNLOAD_URL is where the two files
# will be published, {version} standing for the version (default
# https://github.com/tarvel/tarvel/releases/download/v{version}).
#
# Signing: with TARVEL_SIGN_PFX (and TARVEL_SIGN_PASSWORD, TARVEL_SIGN_TIMESTAMP;
# see scripts/sign.sh) in the environment, the install step signs tarvel.dll,
# tarvel-bridge.dll and the programs, and makensis the uninstaller and the
# setup program; without it nothing is signed, and this says so.
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

ensure_packages
if [ -n "${TARVEL_SIGN_PFX:-}" ]; then
    [ -r "$TARVEL_SIGN_PFX" ] || { log "cannot read the certificate $TARVEL_SIGN_PFX"; exit 1; }
    export TARVEL_SIGN_PFX=$(realpath "$TARVEL_SIGN_PFX")
    bash "$ROOT_DIR/scripts/sign.sh" || exit 1  # the variables checked before the build
    log "signing with $TARVEL_SIGN_PFX"
else
    unset TARVEL_SIGN_PFX
    log "not signing: TARVEL_SIGN_PFX names no certificate"
fi
configure_and_build -DTARVEL_BUILD_TESTS=OFF
version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "$BUILD_DIR/CPackConfig.cmake")
folder="$BUILD_DIR/package/Tarvel"
rm -rf "$folder"
cmake --install "$BUILD_DIR" --prefix "$folder" --strip >/dev/null
(cd "$BUILD_DIR" && cpack -G ZIP >/dev/null)
log "installed into $folder"
log "package: $BUILD_DIR/package/tarvel-$version-win64.zip"
log "setup program: $BUILD_DIR/package/tarvel-$version-setup.exe"
bash "$ROOT_DIR/tools/setup/write_manifests.sh" "$version" "$BUILD_DIR/package/tarvel-$version-setup.exe" \
    "$BUILD_DIR/package/tarvel-$version-win64.zip" "$BUILD_DIR/package/manifests"
log "winget and Scoop manifests: $BUILD_DIR/package/manifests/"
