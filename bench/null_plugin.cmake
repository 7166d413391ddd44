# null_plugin.dll: the do-nothing plug-in that benchmarks and host tests load
# in place of tarvel.dll.  Included by both bench/ and tests/host.cmake.
if(NOT TARGET null_plugin)
  add_library(null_plugin SHARED
    ${CMAKE_SOURCE_DIR}/bench/null_plugin.cpp
    ${CMAKE_SOURCE_DIR}/src/macro/handler.cpp
    ${CMAKE_SOURCE_DIR}/bench/null_plugin.def)
  set_target_properties(null_plugin PROPERTIES PREFIX "" OUTPUT_NAME null_plugin)
  target_link_libraries(null_plugin PRIVATE tarvel_sdk)
  target_link_options(null_plugin PRIVATE ${TARVEL_PLUGIN_LINK_OPTIONS})
endif()
