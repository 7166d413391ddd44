# tarvel-host.exe run as a child process, and the do-nothing plug-in it is
# pointed at as a plug-in that misbehaves.
include(${CMAKE_SOURCE_DIR}/bench/null_plugin.cmake)
add_library(host_process STATIC ${CMAKE_CURRENT_LIST_DIR}/host_process.cpp)
target_link_libraries(host_process PUBLIC tarvel_sdk)
tarvel_test(host_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/host_test.cpp
  LIBS host_process
  DEPENDS tarvel-host null_plugin)
tarvel_test(host_button_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/host_button_test.cpp
  LIBS host_process
  DEPENDS tarvel-host
  SERIAL)
