# memory_bench: private bytes and file size, tarvel.dll vs. the do-nothing plug-in.
# It uses the tests' foreground helper, so it is built with the tests.
if(NOT TARGET test_support)
  return()
endif()
include(${CMAKE_CURRENT_LIST_DIR}/null_plugin.cmake)
tarvel_bench(memory_bench ${CMAKE_CURRENT_LIST_DIR}/memory_bench.cpp)
target_link_libraries(memory_bench PRIVATE test_support psapi)
target_include_directories(memory_bench PRIVATE ${CMAKE_SOURCE_DIR}/tools/tarvel-host)
add_dependencies(memory_bench null_plugin foreground_window)
