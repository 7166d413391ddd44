# The foreground monitor's figures: the monitor is reached through
# tarvel_probe.dll (tests/foreground_probe.h); needs the tests' window helper.
tarvel_bench(foreground_bench ${CMAKE_CURRENT_LIST_DIR}/foreground_bench.cpp)
target_link_libraries(foreground_bench PRIVATE test_support ${TARVEL_BIN_DIR}/tarvel_probe.dll)
add_dependencies(foreground_bench foreground_window)
