# The button's gestures: the hook's decision for a wheel notch and for a move
# with the button held, compiled in from tarvel-host.
tarvel_bench(gesture_bench ${CMAKE_CURRENT_LIST_DIR}/gesture_bench.cpp
  ${TARVEL_ROOT}/tools/tarvel-host/input/press_timing.cpp)
target_include_directories(gesture_bench PRIVATE ${TARVEL_ROOT}/tools/tarvel-host/input)
