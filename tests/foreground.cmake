# The foreground monitor and the helper program that makes real foreground switches.

# A real window under any file name; tests copy it (see support/foreground_switcher.h).
tarvel_test_program(foreground_window ${CMAKE_CURRENT_LIST_DIR}/helpers/foreground_window.cpp)
set_target_properties(foreground_window PROPERTIES WIN32_EXECUTABLE ON)

tarvel_test(foreground_support_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/foreground_support_test.cpp
  LIBS psapi
  DEPENDS foreground_window
  SERIAL)

tarvel_test(foreground_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/foreground_test.cpp ${CMAKE_CURRENT_LIST_DIR}/foreground_recorder.cpp
  LIBS tarvel_core
  DEPENDS foreground_window
  PROPERTIES TIMEOUT 60
  SERIAL)

# A program of its own: it never reuses freed memory (see the file).
tarvel_test(foreground_lifetime_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/foreground_lifetime_test.cpp ${CMAKE_CURRENT_LIST_DIR}/foreground_recorder.cpp
  LIBS tarvel_core
  DEPENDS foreground_window
  PROPERTIES TIMEOUT 60
  SERIAL)
