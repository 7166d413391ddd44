# The long press's flip against its hold time: tarvel-host run as a user
# runs it, with the tests' process, window and key helpers.
tarvel_bench(host_input_bench ${CMAKE_CURRENT_LIST_DIR}/host_input_bench.cpp ${TARVEL_ROOT}/tests/host_process.cpp)
target_link_libraries(host_input_bench PRIVATE test_support)
add_dependencies(host_input_bench tarvel-host foreground_window)
