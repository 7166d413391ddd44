# The release package.  `cmake --install <build> --prefix <folder>` lays out:
#   <folder>/LICENSE.txt                the MIT License (LICENSE, CRLF line ends)
#   <folder>/tarvel.dll                 the plug-in
#   <folder>/tarvel-host.exe            the sample host (runs tarvel.dll beside it)
#   <folder>/tarvel-bridge.dll          what the sample host drives the plug-in through
#   <folder>/tarvel-host/Pluggins/ZeltoAppSwitcher.exe   the sample host's app switcher
#                                       (its host folder is the subfolder tarvel-host/, so
#                                       that the package copied over another host's folder
#                                       never replaces that host's Pluggins/ files)
#   <folder>/README.txt                 the user guide (docs/user-guide.txt)
#   <folder>/sdk/include/...            the SDK headers a host builds against
#   <folder>/sdk/example/...            a complete host's source, built against them
#   <folder>/sdk/README.md              the SDK's own README, for host authors (docs/sdk-readme.md)
#   <folder>/sdk/LICENSE.txt            the licence again, for a host author who copies sdk/
# and `cpack` (in the build folder) zips that under one plain folder Tarvel/
# as tarvel-<version>-win64.zip, <version> being the project version, which
# is also the one written into tarvel.dll's version record
# (src/plugin/tarvel.rc.in).  No version in the folder's name: a newer ZIP
# extracted where the older one was replaces its files, and the Run value
# (Start with Windows) keeps pointing at the right program.

# Stripping must understand PE images.  lld-link leaves no symbols in the
# modules of this half (the debugging information is in the PDB beside them),
# so llvm-strip leaves them as they are; the mingw-w64 half's programs carry
# DWARF sections, which their own toolchain's strip removes (below).
find_program(TARVEL_PE_STRIP NAMES llvm-strip-19 llvm-strip REQUIRED)
set(CMAKE_STRIP ${TARVEL_PE_STRIP})
find_program(TARVEL_MINGW_STRIP NAMES x86_64-w64-mingw32-strip REQUIRED)

install(TARGETS tarvel tarvel-bridge RUNTIME DESTINATION . COMPONENT runtime)

# The mingw-w64 half's programs, which that half has built into bin/ by the
# time anything is installed (the external project is part of `all`).
# The stand-ins that the tests and the demonstration use stay in the build.
set(TARVEL_PACKAGED_PROGRAMS tarvel-host.exe)
foreach(program ${TARVEL_PACKAGED_PROGRAMS})
  install(PROGRAMS ${CMAKE_BINARY_DIR}/bin/${program} DESTINATION . COMPONENT runtime)
endforeach()
install(PROGRAMS ${CMAKE_BINARY_DIR}/bin/tarvel-host/Pluggins/ZeltoAppSwitcher.exe
        DESTINATION tarvel-host/Pluggins COMPONENT runtime)
list(APPEND TARVEL_PACKAGED_PROGRAMS tarvel-host/Pluggins/ZeltoAppSwitcher.exe)
# install(PROGRAMS) never strips, so do what install(TARGETS) would.
install(CODE "
  if(CMAKE_INSTALL_DO_STRIP)
    foreach(program ${TARVEL_PACKAGED_PROGRAMS})
      execute_process(COMMAND \"${TARVEL_MINGW_STRIP}\" \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/\${program}\"
                      RESULT_VARIABLE stripped)
      if(NOT stripped EQUAL 0)
        message(FATAL_ERROR \"cannot strip \${program}\")
      endif()
    endforeach()
  endif()" COMPONENT runtime)

# Signed last, once stripped, when the environment names a certificate
# (scripts/sign.sh lists the variables): every program and DLL installed, so
# the ZIP (cpack installs into its own staging folder) and the setup program's
# staged files alike.  Without one, nothing is signed.  Only the files named
# here: the prefix may hold other programs.
install(CODE "
  if(DEFINED ENV{TARVEL_SIGN_PFX})
    set(binaries)
    foreach(binary $<TARGET_FILE_NAME:tarvel> $<TARGET_FILE_NAME:tarvel-bridge> ${TARVEL_PACKAGED_PROGRAMS})
      list(APPEND binaries \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/\${binary}\")
    endforeach()
    execute_process(COMMAND bash \"${CMAKE_SOURCE_DIR}/scripts/sign.sh\" \${binaries} RESULT_VARIABLE signed)
    if(NOT signed EQUAL 0)
      message(FATAL_ERROR \"cannot sign the package's programs\")
    endif()
  endif()" COMPONENT runtime)

# The user guide, plain text with CRLF line ends, opens in Notepad; the
# Markdown README, for authors of hosts, goes with the SDK.
install(FILES ${CMAKE_SOURCE_DIR}/docs/user-guide.txt DESTINATION . RENAME README.txt COMPONENT runtime)
install(FILES ${CMAKE_SOURCE_DIR}/docs/sdk-readme.md DESTINATION sdk RENAME README.md COMPONENT sdk)
# The licence, in Notepad's line ends, beside the program (and so in the
# setup program's folder) and in the SDK.
configure_file(${CMAKE_SOURCE_DIR}/LICENSE ${CMAKE_BINARY_DIR}/LICENSE.txt @ONLY NEWLINE_STYLE CRLF)
install(FILES ${CMAKE_BINARY_DIR}/LICENSE.txt DESTINATION . COMPONENT runtime)
install(FILES ${CMAKE_BINARY_DIR}/LICENSE.txt DESTINATION sdk COMPONENT sdk)

# The SDK: the host declarations, the handler tree, the string type with the
# exception it raises, and the entry points' declarations, in the folders they
# include each other from.
foreach(header host/host.h macro/macro.h strings/res_string.h strings/atl_exception.h plugin/exports.h)
  get_filename_component(folder ${header} DIRECTORY)
  install(FILES ${CMAKE_SOURCE_DIR}/src/${header} DESTINATION sdk/include/${folder} COMPONENT sdk)
endforeach()
install(FILES ${CMAKE_SOURCE_DIR}/tools/example-host/example_host.cpp DESTINATION sdk/example COMPONENT sdk)

# The build keeps its debug information (RelWithDebInfo); the package does not.
set(CPACK_STRIP_FILES TRUE)
set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME tarvel)
set(CPACK_PACKAGE_VENDOR Tarvel)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Tarvel window-flip macro plug-in, its SDK headers and a sample host")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME tarvel-${PROJECT_VERSION}-win64)
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_SOURCE_DIR}/LICENSE)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
set(CPACK_PACKAGING_INSTALL_PREFIX /Tarvel)
set(CPACK_ARCHIVE_COMPONENT_INSTALL OFF)
set(CPACK_OUTPUT_FILE_PREFIX ${CMAKE_BINARY_DIR}/package)
include(CPack)
