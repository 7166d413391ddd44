# The setup program, build/package/tarvel-<version>-setup.exe: the package's
# `runtime` component (see cmake/package.cmake) staged with
# `cmake --install --component runtime --strip`, its file list written from
# what was staged (setup_files.cmake), and tarvel.nsi compiled by makensis.
# Part of every build, after both halves: the tests install it under Wine.
find_program(TARVEL_MAKENSIS makensis REQUIRED)

set(TARVEL_SETUP_DIR ${CMAKE_BINARY_DIR}/setup)
set(TARVEL_SETUP_STAGE ${TARVEL_SETUP_DIR}/stage)
set(TARVEL_SETUP_EXE ${CMAKE_BINARY_DIR}/package/tarvel-${PROJECT_VERSION}-setup.exe)
add_custom_target(tarvel_setup ALL
  COMMAND ${CMAKE_COMMAND} -DBUILD=${CMAKE_BINARY_DIR} -DSTAGE=${TARVEL_SETUP_STAGE} -DOUTPUT=${TARVEL_SETUP_DIR}/files.nsh
          -P ${CMAKE_CURRENT_LIST_DIR}/setup_files.cmake
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/package
  COMMAND ${TARVEL_MAKENSIS} -V2 -WX -DVERSION=${PROJECT_VERSION} -DFILES=${TARVEL_SETUP_DIR}/files.nsh
          -DICON=${CMAKE_SOURCE_DIR}/tools/tarvel-host/res/tarvel.ico
          -DPICTURE=${CMAKE_SOURCE_DIR}/tools/tarvel-host/res/tarvel-setup.bmp -DOUTFILE=${TARVEL_SETUP_EXE}
          ${CMAKE_CURRENT_LIST_DIR}/tarvel.nsi
  WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
  COMMENT "Building the setup program ${TARVEL_SETUP_EXE}"
  VERBATIM)
add_dependencies(tarvel_setup mingw_half tarvel tarvel-bridge)
