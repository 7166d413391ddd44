# load_bench: tarvel.dll against the do-nothing plug-in (bench/null_plugin,
# built by the other half) of the same kind.
tarvel_bench(load_bench ${CMAKE_CURRENT_LIST_DIR}/load_bench.cpp)
