tarvel_test(handler_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/handler_test.cpp)
