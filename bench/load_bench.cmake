# load_bench: tarvel.dll against the do-nothing plug-in of the same kind.
include(${CMAKE_CURRENT_LIST_DIR}/null_plugin.cmake)
tarvel_bench(load_bench ${CMAKE_CURRENT_LIST_DIR}/load_bench.cpp)
add_dependencies(load_bench null_plugin)
