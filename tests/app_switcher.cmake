# The app switcher that tarvel-host ships (tools/app-switcher), over real
# windows of the window helper; it uses the shared desktop.
tarvel_test(app_switcher_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/app_switcher_test.cpp
  DEPENDS app_switcher foreground_window
  SERIAL)
