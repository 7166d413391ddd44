# The hot corners' decision for one pointer move, compiled in from tarvel-host.
tarvel_bench(corner_bench ${CMAKE_CURRENT_LIST_DIR}/corner_bench.cpp ${TARVEL_ROOT}/tools/tarvel-host/input/hot_corners.cpp)
target_include_directories(corner_bench PRIVATE ${TARVEL_ROOT}/tools/tarvel-host/input)
