tarvel_test(plugin_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/plugin_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/plugin_image_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/plugin_test_strings.rc
  LIBS version)
