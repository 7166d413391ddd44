# memory_bench: private bytes and file size, tarvel.dll vs. the do-nothing
# plug-in.  It uses the tests' foreground helper and process figures.
tarvel_bench(memory_bench ${CMAKE_CURRENT_LIST_DIR}/memory_bench.cpp)
target_link_libraries(memory_bench PRIVATE test_support psapi)
target_include_directories(memory_bench PRIVATE ${TARVEL_HOST_INCLUDE_DIRS})
add_dependencies(memory_bench foreground_window)
