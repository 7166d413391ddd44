# The setup program, build/package/tarvel-<version>-setup.exe: the package's
# `runtime` component (see cmake/package.cmake) staged with
# `cmake --install --component runtime --strip`, its file list written from
# what was staged (setup_files.cmake), and tarvel.nsi compiled by makensis.
# Part of every build, after both halves: the tests install it under Wine.
find_program(TARVEL_MAKENSIS makensis REQUIRED)

set(TARVEL_SETUP_DIR ${CMAKE_BINARY_DIR}/setup)
set(TARVEL_SETUP_STAGE ${TARVEL_SETUP_DIR}/stage)
set(TARVEL_SETUP_EXE ${CMAKE_BINARY_DIR}/package/tarvel-${PROJECT_VERSION}-setup.exe)
# What the setup program is made of, for the build and the signing test alike.
set(TARVEL_SETUP_DEFINES -DVERSION=${PROJECT_VERSION} -DICON=${CMAKE_SOURCE_DIR}/tools/tarvel-host/res/tarvel.ico
    -DPICTURE=${CMAKE_SOURCE_DIR}/tools/tarvel-host/res/tarvel-setup.bmp)
add_custom_target(tarvel_setup ALL
  COMMAND ${CMAKE_COMMAND} -DBUILD=${CMAKE_BINARY_DIR} -DSTAGE=${TARVEL_SETUP_STAGE} -DOUTPUT=${TARVEL_SETUP_DIR}/files.nsh
          -P ${CMAKE_CURRENT_LIST_DIR}/setup_files.cmake
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/package
  COMMAND ${TARVEL_MAKENSIS} -V2 -WX -DFILES=${TARVEL_SETUP_DIR}/files.nsh
          ${TARVEL_SETUP_DEFINES} -DOUTFILE=${TARVEL_SETUP_EXE}
          "-DSIGN=bash \"${CMAKE_SOURCE_DIR}/scripts/sign.sh\"" ${CMAKE_CURRENT_LIST_DIR}/tarvel.nsi
  WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
  COMMENT "Building the setup program ${TARVEL_SETUP_EXE}"
  VERBATIM)
add_dependencies(tarvel_setup mingw_half tarvel tarvel-bridge)

# The package and the setup program signed with a throwaway certificate, as
# scripts/package.sh signs them with a real one, and every signature checked.
if(TARVEL_BUILD_TESTS)
  add_test(NAME Package.SignedWithAThrowawayCertificate_EverySignatureVerifies
    COMMAND bash ${CMAKE_SOURCE_DIR}/tests/package_signing.sh ${CMAKE_BINARY_DIR} ${TARVEL_MAKENSIS}
            ${CMAKE_CURRENT_LIST_DIR}/tarvel.nsi ${TARVEL_SETUP_DEFINES})
  set_tests_properties(Package.SignedWithAThrowawayCertificate_EverySignatureVerifies PROPERTIES TIMEOUT 300)
  # The winget and Scoop manifests package.sh writes, against their schemas
  # and the files' hashes.
  add_test(NAME Package.Manifests_ValidAgainstTheirSchemas_WithThePackagesHashes
    COMMAND bash ${CMAKE_SOURCE_DIR}/tests/package_manifests.sh ${CMAKE_BINARY_DIR} ${PROJECT_VERSION})
  set_tests_properties(Package.Manifests_ValidAgainstTheirSchemas_WithThePackagesHashes PROPERTIES TIMEOUT 300)
endif()
