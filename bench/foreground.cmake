# The foreground monitor's figures; needs the helper program of the tests.
tarvel_bench(foreground_bench
  ${CMAKE_CURRENT_LIST_DIR}/foreground_bench.cpp
  ${CMAKE_SOURCE_DIR}/tests/support/foreground_switcher.cpp
  ${CMAKE_SOURCE_DIR}/tests/support/import_patch.cpp)
target_link_libraries(foreground_bench PRIVATE tarvel_core)
if(TARGET foreground_window)
  add_dependencies(foreground_bench foreground_window)
endif()
