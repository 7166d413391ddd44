# Soak tests: many flips and registrations, with the process's handles and
# private bytes compared before and after.
tarvel_test(soak_flip_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/soak_flip_test.cpp
  LIBS psapi
  DEPENDS foreground_window
  PROPERTIES FIXTURES_REQUIRED flip_dwmapi
  SERIAL)
tarvel_test(soak_monitor_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/soak_monitor_test.cpp
  LIBS ${TARVEL_BIN_DIR}/tarvel_probe.dll psapi
  DEPENDS foreground_window
  SERIAL)
