# flip_bench: a press's cost inside tarvel.dll vs. the platform calls alone.
# It drives the plug-in with the tests' loader and foreground helper, so it
# is built with the tests (as scripts/bench.sh does).
if(NOT TARGET test_support)
  return()
endif()
tarvel_bench(flip_bench ${CMAKE_CURRENT_LIST_DIR}/flip_bench.cpp)
target_link_libraries(flip_bench PRIVATE test_support psapi)
target_include_directories(flip_bench PRIVATE ${CMAKE_SOURCE_DIR}/tools/tarvel-host)
add_dependencies(flip_bench foreground_window)
