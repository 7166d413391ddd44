tarvel_test(plugin_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/plugin_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/plugin_image_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/plugin_test_strings.rc
  LIBS version)

# What tarvel.dll imports, against Windows' own export lists (on the build
# machine: Wine's DLLs export more, so a run under Wine cannot tell).
find_program(TARVEL_OBJDUMP NAMES llvm-objdump-19 llvm-objdump x86_64-w64-mingw32-objdump REQUIRED)
find_program(TARVEL_NM NAMES llvm-nm-19 llvm-nm x86_64-w64-mingw32-nm REQUIRED)
add_test(NAME PluginImage.ImportsOnlyWhatWindowsExports
  COMMAND ${CMAKE_COMMAND} -DDLL=${TARVEL_BIN_DIR}/tarvel.dll
          -DALLOWED=ucrtbase.dll,kernel32.dll,user32.dll,oleaut32.dll,shell32.dll,advapi32.dll,psapi.dll
          -DOBJDUMP=${TARVEL_OBJDUMP} -DNM=${TARVEL_NM}
          -DIMPORT_LIB_DIR=/usr/x86_64-w64-mingw32/lib
          -P ${CMAKE_CURRENT_LIST_DIR}/helpers/windows_imports.cmake)
