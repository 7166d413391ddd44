# The window flip and the app-switcher launch, end to end through tarvel.dll.

# dwmapi.dll stand-ins (see helpers/fake_dwmapi.cpp): one for the prefix's
# system folder, one beside the test programs that answers the opposite.
add_library(fake_dwmapi_system MODULE ${CMAKE_CURRENT_LIST_DIR}/helpers/fake_dwmapi.cpp)
set_target_properties(fake_dwmapi_system PROPERTIES PREFIX "" OUTPUT_NAME dwmapi
  LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fake-system32)
add_library(fake_dwmapi_beside MODULE ${CMAKE_CURRENT_LIST_DIR}/helpers/fake_dwmapi.cpp)
target_compile_definitions(fake_dwmapi_beside PRIVATE TARVEL_FAKE_DWMAPI_INVERTED)
set_target_properties(fake_dwmapi_beside PROPERTIES PREFIX "" OUTPUT_NAME dwmapi)
foreach(fake fake_dwmapi_system fake_dwmapi_beside)
  target_link_options(${fake} PRIVATE ${TARVEL_STATIC_RUNTIME})
endforeach()

add_test(NAME FlipSetup.InstallSystemDwmapi
  COMMAND ${CMAKE_COMMAND} -DACTION=install -DFAKE=$<TARGET_FILE:fake_dwmapi_system>
          -P ${CMAKE_CURRENT_LIST_DIR}/helpers/system32_dwmapi.cmake)
set_tests_properties(FlipSetup.InstallSystemDwmapi PROPERTIES FIXTURES_SETUP flip_dwmapi)
add_test(NAME FlipSetup.RestoreSystemDwmapi
  COMMAND ${CMAKE_COMMAND} -DACTION=restore -P ${CMAKE_CURRENT_LIST_DIR}/helpers/system32_dwmapi.cmake)
set_tests_properties(FlipSetup.RestoreSystemDwmapi PROPERTIES FIXTURES_CLEANUP flip_dwmapi)

# Wine reports the Windows version per program, read as the program starts:
# the switcher's tests run as Windows 10, the other flip tests as Windows 7,
# and the per-version tests once as each.
foreach(program_version flip_test:win7 flip_switcher_test:win10
        flip_win7_test:win7 flip_win81_test:win81 flip_win10_test:win10)
  string(REPLACE ":" ";" program_version ${program_version})
  list(GET program_version 0 program)
  list(GET program_version 1 version)
  add_test(NAME FlipSetup.${program}.${version}
    COMMAND ${CMAKE_CROSSCOMPILING_EMULATOR} reg add "HKCU\\Software\\Wine\\AppDefaults\\${program}.exe"
            /v Version /d ${version} /f)
  set_tests_properties(FlipSetup.${program}.${version} PROPERTIES FIXTURES_SETUP flip_dwmapi)
endforeach()

# Started by the plug-in as <HostFolder>Pluggins\ZeltoAppSwitcher.exe.  Kept
# in the build folder helpers\, with the demonstration's helpers: never
# beside tarvel-host.exe, never in the package.
tarvel_test_program(app_switcher_recorder ${CMAKE_CURRENT_LIST_DIR}/helpers/app_switcher_recorder.cpp)
set_target_properties(app_switcher_recorder PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${TARVEL_BIN_DIR}/../helpers)

set(FLIP_TEST_DEPENDS fake_dwmapi_system fake_dwmapi_beside app_switcher_recorder)

tarvel_test(launch_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/launch_test.cpp
  DEPENDS ${FLIP_TEST_DEPENDS}
  PROPERTIES FIXTURES_REQUIRED flip_dwmapi)

tarvel_test(flip_composition_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/flip_composition_test.cpp
  DEPENDS ${FLIP_TEST_DEPENDS}
  PROPERTIES FIXTURES_REQUIRED flip_dwmapi)
# Its flip presses the keys on the shared desktop.
set_tests_properties(Composition.SearchFlagRefused_TheSystemFoldersLibraryStillAnswers PROPERTIES RUN_SERIAL TRUE)
# Wine's loader refuses dwmapi.dll altogether; the scripts' own entries stay.
set_tests_properties(Composition.NoLibrary_LaunchesTheSwitcher PROPERTIES
  ENVIRONMENT "WINEDLLOVERRIDES=mscoree,mshtml=\;dwmapi=d")

# These use the shared desktop: the foreground and the keyboard.
tarvel_test(flip_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/flip_test.cpp
  LIBS psapi
  DEPENDS ${FLIP_TEST_DEPENDS} foreground_window
  PROPERTIES FIXTURES_REQUIRED flip_dwmapi
  SERIAL)

tarvel_test(flip_stress_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/flip_stress_test.cpp
  LIBS psapi
  DEPENDS ${FLIP_TEST_DEPENDS} foreground_window
  PROPERTIES FIXTURES_REQUIRED flip_dwmapi
  SERIAL)

# The completion's exactly-once claim, driven from two threads at once through
# the probe (the flip from the plug-in's sources).
tarvel_test(flip_race_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/flip_race_test.cpp
  LIBS ${TARVEL_BIN_DIR}/tarvel_probe.dll psapi
  DEPENDS foreground_window
  SERIAL)

# The switcher of Windows 10 and 11, played by a stand-in named explorer.exe.
tarvel_test(flip_switcher_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/flip_switcher_test.cpp
  DEPENDS ${FLIP_TEST_DEPENDS} foreground_window
  PROPERTIES FIXTURES_REQUIRED flip_dwmapi
  SERIAL)

# One source, one program per version, its tests named after it (Win81.FlipVersion...).
foreach(version Win7 Win81 Win10)
  string(TOLOWER ${version} program)
  set(program flip_${program}_test)
  add_executable(${program} ${CMAKE_CURRENT_LIST_DIR}/flip_versions_test.cpp)
  target_link_libraries(${program} PRIVATE test_support GTest::gtest_main)
  target_link_options(${program} PRIVATE ${TARVEL_STATIC_RUNTIME})
  add_dependencies(${program} ${FLIP_TEST_DEPENDS} foreground_window)
  gtest_add_tests(TARGET ${program} TEST_PREFIX ${version}. WORKING_DIRECTORY ${TARVEL_BIN_DIR} TEST_LIST added)
  set_tests_properties(${added} PROPERTIES TIMEOUT 300 RUN_SERIAL TRUE FIXTURES_REQUIRED flip_dwmapi)
endforeach()
