# Checks, on the build machine, what a DLL of ours imports against what every
# Windows 10 and 11 installation offers: only the DLLs in ALLOWED, and from
# each only functions that mingw-w64's import library of that DLL lists.
# Those import libraries are made from Windows' own export lists; Wine's DLLs,
# which the tests run against, export more (its ucrtbase has __std_terminate,
# Windows' has not), so a run under Wine cannot see this fault.
#
#   cmake -DDLL=<file> -DALLOWED=<dll,dll...> -DOBJDUMP=<llvm-objdump>
#         -DNM=<nm> -DIMPORT_LIB_DIR=<mingw-w64 lib folder> -P windows_imports.cmake
cmake_minimum_required(VERSION 3.20)
foreach(var DLL ALLOWED OBJDUMP NM IMPORT_LIB_DIR)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "${var} not given")
  endif()
endforeach()

execute_process(COMMAND ${OBJDUMP} -p ${DLL} OUTPUT_VARIABLE dump RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "${OBJDUMP} -p ${DLL} failed")
endif()

# The import table's blocks: "DLL Name: x.dll", a header line, then one
# "<hint> <name>" line per function up to a blank line.
string(REPLACE "\n" ";" lines "${dump}")
set(dll "")
set(dlls "")
foreach(line IN LISTS lines)
  if(line MATCHES "DLL Name: (.+)$")
    string(TOLOWER "${CMAKE_MATCH_1}" dll)
    list(APPEND dlls ${dll})
    set(imports_${dll} "")
  elseif(dll AND line MATCHES "^ +[0-9]+ +([A-Za-z0-9_@?$]+)$")
    list(APPEND imports_${dll} ${CMAKE_MATCH_1})
  elseif(line STREQUAL "" OR line MATCHES "Export Table")
    set(dll "")
  endif()
endforeach()
if(NOT dlls)
  message(FATAL_ERROR "no imports found in ${DLL}")
endif()

string(TOLOWER "${ALLOWED}" allowed)
string(REPLACE "," ";" allowed "${allowed}")
set(errors 0)
set(checked 0)
foreach(dll IN LISTS dlls)
  if(NOT dll IN_LIST allowed)
    message(SEND_ERROR "${DLL} imports ${dll}, which is not one of: ${allowed}")
    math(EXPR errors "${errors} + 1")
    continue()
  endif()
  string(REGEX REPLACE "\\.dll$" "" base "${dll}")
  set(library ${IMPORT_LIB_DIR}/lib${base}.a)
  if(NOT EXISTS ${library})
    message(SEND_ERROR "no Windows import library ${library} to check ${dll} against")
    math(EXPR errors "${errors} + 1")
    continue()
  endif()
  execute_process(COMMAND ${NM} ${library} OUTPUT_VARIABLE symbols ERROR_QUIET)
  foreach(function IN LISTS imports_${dll})
    string(REGEX REPLACE "([][.*+?^$()|\\\\])" "\\\\\\1" escaped "${function}")
    if(NOT symbols MATCHES "__imp_${escaped}\n")
      message(SEND_ERROR "${dll}!${function} is not exported by Windows' ${dll}")
      math(EXPR errors "${errors} + 1")
    endif()
    math(EXPR checked "${checked} + 1")
  endforeach()
endforeach()
if(errors)
  message(FATAL_ERROR "${errors} import(s) of ${DLL} missing from Windows")
endif()
message(STATUS "${checked} functions from ${dlls}: all in Windows' export lists")
