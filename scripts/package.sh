#!/usr/bin/env bash
# Builds the release package: tarvel.dll, the SDK headers and the sample host
# installed into build/package/Tarvel/ and zipped (under a plain Tarvel/ folder) as
# build/package/tarvel-<version>-win64.zip, and beside it the setup program
# build/package/tarvel-<version>-setup.exe, which every build makes from the
# `runtime` component (tools/setup).  The version is the one in tarvel.dll's
# version record.
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

ensure_packages
configure_and_build -DTARVEL_BUILD_TESTS=OFF
version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "$BUILD_DIR/CPackConfig.cmake")
folder="$BUILD_DIR/package/Tarvel"
rm -rf "$folder"
cmake --install "$BUILD_DIR" --prefix "$folder" --strip >/dev/null
(cd "$BUILD_DIR" && cpack -G ZIP >/dev/null)
log "installed into $folder"
log "package: $BUILD_DIR/package/tarvel-$version-win64.zip"
log "setup program: $BUILD_DIR/package/tarvel-$version-setup.exe"
