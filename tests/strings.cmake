tarvel_test(strings_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/res_string_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/bstr_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/plugin_test_strings.rc
  LIBS oleaut32)
