# The foreground monitor and the helper program that makes real foreground switches.

# A real window under any file name; tests copy it (see support/foreground_switcher.h).
tarvel_test_program(foreground_window ${CMAKE_CURRENT_LIST_DIR}/helpers/foreground_window.cpp)
set_target_properties(foreground_window PROPERTIES WIN32_EXECUTABLE ON)

tarvel_test(foreground_support_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/foreground_support_test.cpp
  LIBS psapi
  DEPENDS foreground_window
  SERIAL)

# The rules of a burst, a pure unit built into the test itself.
tarvel_test(burst_rules_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/burst_rules_test.cpp ${TARVEL_ROOT}/src/foreground/burst_rules.cpp)

# The monitor itself is reached through tarvel_probe.dll (foreground_probe.h).
set(TARVEL_PROBE ${TARVEL_BIN_DIR}/tarvel_probe.dll)

tarvel_test(foreground_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/foreground_test.cpp ${CMAKE_CURRENT_LIST_DIR}/foreground_recorder.cpp
  LIBS ${TARVEL_PROBE}
  DEPENDS foreground_window
  PROPERTIES TIMEOUT 60
  SERIAL)

tarvel_test(foreground_lifetime_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/foreground_lifetime_test.cpp ${CMAKE_CURRENT_LIST_DIR}/foreground_recorder.cpp
  LIBS ${TARVEL_PROBE}
  DEPENDS foreground_window
  PROPERTIES TIMEOUT 60
  SERIAL)
