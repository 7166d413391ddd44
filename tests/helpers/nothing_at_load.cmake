# Checks, on the build machine, that nothing of the plug-in's own code waits
# to run at load: no object of it has a dynamic initialiser (.CRT$XC*) or
# thread-local data (.tls).  The plug-in's entry point is its own and no C
# runtime start-up code runs in it, so such code would silently never run.
#
#   cmake -DARCHIVE=<static library of the plug-in's sources> -DOBJDUMP=<llvm-objdump> -P nothing_at_load.cmake
cmake_minimum_required(VERSION 3.20)
execute_process(COMMAND ${OBJDUMP} -h ${ARCHIVE} OUTPUT_VARIABLE dump RESULT_VARIABLE failed)
if(failed OR NOT dump MATCHES "\\.text")
  message(FATAL_ERROR "${OBJDUMP} -h ${ARCHIVE} failed")
endif()
string(REGEX MATCHALL "[^\n]*(\\.CRT\\$XC|\\.tls)[^\n]*" found "${dump}")
if(found)
  message(FATAL_ERROR "code or data that would run or live per thread at load:\n${found}")
endif()
message(STATUS "no dynamic initialisers and no thread-local data in ${ARCHIVE}")
