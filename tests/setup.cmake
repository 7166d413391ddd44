# The setup program, which the top-level build makes (tools/setup), run
# under Wine in a prefix of its own, made afresh for each run of the suite.
set(TARVEL_SETUP_PREFIX ${TARVEL_BIN_DIR}/../setup-wineprefix)
add_test(NAME SetupPrefix.Create
  COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/helpers/setup_prefix.sh create ${TARVEL_SETUP_PREFIX})
add_test(NAME SetupPrefix.Stop
  COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/helpers/setup_prefix.sh stop ${TARVEL_SETUP_PREFIX})
set_tests_properties(SetupPrefix.Create PROPERTIES FIXTURES_SETUP setup_prefix TIMEOUT 300)
set_tests_properties(SetupPrefix.Stop PROPERTIES FIXTURES_CLEANUP setup_prefix)
tarvel_test(setup_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/setup_test.cpp
  PROPERTIES FIXTURES_REQUIRED setup_prefix ENVIRONMENT WINEPREFIX=${TARVEL_SETUP_PREFIX}
  SERIAL)
target_include_directories(setup_test PRIVATE ${TARVEL_HOST_INCLUDE_DIRS})
target_compile_definitions(setup_test PRIVATE
  TARVEL_SETUP=L"../package/tarvel-${PROJECT_VERSION}-setup.exe" TARVEL_VERSION=L"${PROJECT_VERSION}")
