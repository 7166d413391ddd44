# flip_bench: a press's cost inside tarvel.dll vs. the platform calls alone.
# It drives the plug-in with the tests' loader and foreground helper.
tarvel_bench(flip_bench ${CMAKE_CURRENT_LIST_DIR}/flip_bench.cpp)
target_link_libraries(flip_bench PRIVATE test_support psapi)
target_include_directories(flip_bench PRIVATE ${TARVEL_HOST_INCLUDE_DIRS})
add_dependencies(flip_bench foreground_window)
