# How a flip ends when the host goes away or its start fails.
# A host of the tests' making that loads tarvel.dll and leaves a flip in many ways.
tarvel_test_program(flip_host ${CMAKE_CURRENT_LIST_DIR}/helpers/flip_host.cpp)
target_link_libraries(flip_host PRIVATE tarvel_bridge)
target_link_options(flip_host PRIVATE -municode)

tarvel_test(flip_exit_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/flip_exit_test.cpp
  DEPENDS flip_host foreground_window
  PROPERTIES FIXTURES_REQUIRED flip_dwmapi
  SERIAL)
