# tarvel-host.exe run as a child process; the do-nothing plug-in and the
# throwing one (tests/host_plugins, built by the MSVC-ABI half into the same
# folder) are the plug-ins that misbehave.
add_library(host_process STATIC ${CMAKE_CURRENT_LIST_DIR}/host_process.cpp)
target_link_libraries(host_process PUBLIC tarvel_common)
# The demonstration switches composition on and off through the stand-in
# dwmapi.dll that the flip tests' fixture puts in the prefix's system folder.
tarvel_test(host_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/host_test.cpp
  LIBS host_process
  DEPENDS tarvel-host
  PROPERTIES FIXTURES_REQUIRED flip_dwmapi
  SERIAL)
# The version that the demo reads from tarvel.dll's version record.
target_compile_definitions(host_test PRIVATE TARVEL_PROJECT_VERSION="${PROJECT_VERSION}")
tarvel_test(host_button_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/host_button_test.cpp
  LIBS host_process psapi
  DEPENDS tarvel-host foreground_window
  PROPERTIES FIXTURES_REQUIRED flip_dwmapi
  SERIAL)
# The host's own objects, compiled into the test with the host's string table.
set(TARVEL_HOST_DIR ${TARVEL_ROOT}/tools/tarvel-host)
tarvel_test(host_objects_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/host_objects_test.cpp
          ${TARVEL_HOST_DIR}/session/host_objects.cpp ${TARVEL_HOST_DIR}/session/plugin_library.cpp
          ${TARVEL_HOST_DIR}/tarvel-host.rc
  LIBS version
  DEPENDS tarvel-host
  SERIAL)
target_include_directories(host_objects_test PRIVATE ${TARVEL_HOST_INCLUDE_DIRS})
target_compile_definitions(host_objects_test PRIVATE
  TARVEL_VERSION_MAJOR=${PROJECT_VERSION_MAJOR} TARVEL_VERSION_MINOR=${PROJECT_VERSION_MINOR}
  TARVEL_VERSION_PATCH=${PROJECT_VERSION_PATCH})
# The background mode: its own window class and menu commands come from the
# host's header.
tarvel_test(host_tray_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/host_tray_test.cpp
  LIBS host_process
  DEPENDS tarvel-host foreground_window
  PROPERTIES FIXTURES_REQUIRED flip_dwmapi
  SERIAL)
target_include_directories(host_tray_test PRIVATE ${TARVEL_HOST_INCLUDE_DIRS})
# The background mode's icon bookkeeping, Start with Windows, the hook
# watchdog, the hook's own decision per press, the choices' owner and the
# pause key's rules, compiled in with the host's resources (the icons and
# the settings dialog).
tarvel_test(host_tray_parts_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/host_tray_parts_test.cpp
          ${TARVEL_HOST_DIR}/tray/tray_icon.cpp ${TARVEL_HOST_DIR}/tray/autostart.cpp
          ${TARVEL_HOST_DIR}/input/hook_watchdog.cpp ${TARVEL_HOST_DIR}/input/button_hook.cpp
          ${TARVEL_HOST_DIR}/input/hook_thread.cpp ${TARVEL_HOST_DIR}/input/press_decision.cpp
          ${TARVEL_HOST_DIR}/input/press_timing.cpp ${TARVEL_HOST_DIR}/input/hot_corners.cpp
          ${TARVEL_HOST_DIR}/tray/tray_choices.cpp ${TARVEL_HOST_DIR}/tray/settings.cpp
          ${TARVEL_HOST_DIR}/tray/pause_key.cpp ${TARVEL_HOST_DIR}/tray/shell_actions.cpp
          ${TARVEL_HOST_DIR}/session/plugin_library.cpp
          ${TARVEL_HOST_DIR}/tarvel-host.rc
  LIBS host_process comctl32 ole32 shell32 version
  DEPENDS tarvel-host
  SERIAL)
target_include_directories(host_tray_parts_test PRIVATE ${TARVEL_HOST_INCLUDE_DIRS})
target_compile_definitions(host_tray_parts_test PRIVATE
  TARVEL_VERSION_MAJOR=${PROJECT_VERSION_MAJOR} TARVEL_VERSION_MINOR=${PROJECT_VERSION_MINOR}
  TARVEL_VERSION_PATCH=${PROJECT_VERSION_PATCH})
# The long press and the tap, with real side-button presses (xdotool).
tarvel_test(host_press_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/host_press_test.cpp
  LIBS host_process
  DEPENDS tarvel-host foreground_window
  PROPERTIES FIXTURES_REQUIRED flip_dwmapi
  SERIAL)
target_include_directories(host_press_test PRIVATE ${TARVEL_HOST_INCLUDE_DIRS})
# The settings window and the pause key.
tarvel_test(host_settings_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/host_settings_test.cpp
  LIBS host_process
  DEPENDS tarvel-host foreground_window
  SERIAL)
target_include_directories(host_settings_test PRIVATE ${TARVEL_HOST_INCLUDE_DIRS})
# Hot corners.
tarvel_test(host_corners_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/host_corners_test.cpp
  LIBS host_process
  DEPENDS tarvel-host
  PROPERTIES FIXTURES_REQUIRED flip_dwmapi
  SERIAL)
