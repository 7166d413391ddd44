# tarvel-host.exe run as a child process, and the do-nothing plug-in it is
# pointed at as a plug-in that misbehaves.
include(${CMAKE_SOURCE_DIR}/bench/null_plugin.cmake)
# A plug-in whose Execute throws (exports as null_plugin.def names them).
add_library(host_throwing_plugin SHARED ${CMAKE_CURRENT_LIST_DIR}/host_throwing_plugin.cpp
  ${CMAKE_SOURCE_DIR}/src/macro/handler.cpp ${CMAKE_SOURCE_DIR}/bench/null_plugin.def)
set_target_properties(host_throwing_plugin PROPERTIES PREFIX "" OUTPUT_NAME host_throwing_plugin)
target_link_libraries(host_throwing_plugin PRIVATE tarvel_sdk)
target_link_options(host_throwing_plugin PRIVATE ${TARVEL_PLUGIN_LINK_OPTIONS})
add_library(host_process STATIC ${CMAKE_CURRENT_LIST_DIR}/host_process.cpp)
target_link_libraries(host_process PUBLIC tarvel_sdk)
# The demonstration switches composition on and off through the stand-in
# dwmapi.dll that the flip tests' fixture puts in the prefix's system folder.
tarvel_test(host_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/host_test.cpp
  LIBS host_process
  DEPENDS tarvel-host null_plugin host_throwing_plugin
  PROPERTIES FIXTURES_REQUIRED flip_dwmapi
  SERIAL)
# The version that the demo reads from tarvel.dll's version record.
target_compile_definitions(host_test PRIVATE TARVEL_PROJECT_VERSION="${PROJECT_VERSION}")
tarvel_test(host_button_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/host_button_test.cpp
  LIBS host_process psapi
  DEPENDS tarvel-host foreground_window host_throwing_plugin
  PROPERTIES FIXTURES_REQUIRED flip_dwmapi
  SERIAL)
# The host's own objects, compiled into the test with the host's string table.
set(TARVEL_HOST_DIR ${CMAKE_SOURCE_DIR}/tools/tarvel-host)
tarvel_test(host_objects_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/host_objects_test.cpp
          ${TARVEL_HOST_DIR}/host_objects.cpp ${TARVEL_HOST_DIR}/plugin_library.cpp
          ${TARVEL_HOST_DIR}/tarvel-host.rc
  LIBS version
  DEPENDS tarvel-host
  SERIAL)
target_include_directories(host_objects_test PRIVATE ${TARVEL_HOST_DIR})
target_compile_definitions(host_objects_test PRIVATE
  TARVEL_VERSION_MAJOR=${PROJECT_VERSION_MAJOR} TARVEL_VERSION_MINOR=${PROJECT_VERSION_MINOR}
  TARVEL_VERSION_PATCH=${PROJECT_VERSION_PATCH})

# The release layout that `cmake --install` makes, and the SDK headers in it
# compiled on their own by a host of the test's making.
add_test(NAME HostPackage.InstallLaysOutTheReleaseAndTheSdkCompilesAlone
  COMMAND ${CMAKE_COMMAND} -DBUILD=${CMAKE_BINARY_DIR} -DVERSION=${PROJECT_VERSION}
          -DCXX=${CMAKE_CXX_COMPILER} -P ${CMAKE_CURRENT_LIST_DIR}/host_package_check.cmake)
