# The release package.  `cmake --install <build> --prefix <folder>` lays out:
#   <folder>/tarvel.dll                 the plug-in
#   <folder>/tarvel-host.exe            the sample host (runs tarvel.dll beside it)
#   <folder>/tarvel-demo-*.exe          the applications its --demo brings to the front
#   <folder>/Pluggins/ZeltoAppSwitcher.exe   the sample host's stand-in app switcher
#   <folder>/sdk/include/...            the SDK headers a host builds against
# and `cpack` (in the build folder) zips that as tarvel-<version>-win64.zip,
# <version> being the project version, which is also the one written into
# tarvel.dll's version record (src/plugin/tarvel.rc.in).

install(TARGETS tarvel RUNTIME DESTINATION . COMPONENT runtime)
install(TARGETS tarvel-host tarvel-demo-editor tarvel-demo-viewer RUNTIME DESTINATION . COMPONENT runtime)
install(TARGETS tarvel_demo_switcher RUNTIME DESTINATION Pluggins COMPONENT runtime)

install(FILES ${CMAKE_SOURCE_DIR}/README.md DESTINATION . COMPONENT runtime OPTIONAL)

# The SDK: the host declarations, the handler tree, the string type and the
# entry points' pointer types, in the folders they include each other from.
foreach(header host/host.h macro/macro.h strings/res_string.h plugin/exports.h)
  get_filename_component(folder ${header} DIRECTORY)
  install(FILES ${CMAKE_SOURCE_DIR}/src/${header} DESTINATION sdk/include/${folder} COMPONENT sdk)
endforeach()

# The build keeps its debug information (RelWithDebInfo); the package does not.
set(CPACK_STRIP_FILES TRUE)
set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME tarvel)
set(CPACK_PACKAGE_VENDOR Tarvel)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Tarvel window-flip macro plug-in, its SDK headers and a sample host")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME tarvel-${PROJECT_VERSION}-win64)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_ARCHIVE_COMPONENT_INSTALL OFF)
set(CPACK_OUTPUT_FILE_PREFIX ${CMAKE_BINARY_DIR}/package)
include(CPack)
