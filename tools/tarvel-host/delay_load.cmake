# Writes a .def file of a DLL's exports, read from its export table, so that
# dlltool can make a delay-load import library for it.
# Arguments: OBJDUMP, DLL, DEF.
execute_process(COMMAND "${OBJDUMP}" -p "${DLL}" OUTPUT_VARIABLE dump RESULT_VARIABLE dumped)
if(NOT dumped EQUAL 0)
  message(FATAL_ERROR "cannot read the exports of ${DLL}")
endif()
string(REGEX MATCHALL "\t\\[ *[0-9]+\\] [A-Za-z_][A-Za-z0-9_]*" entries "${dump}")
get_filename_component(name "${DLL}" NAME)
set(text "LIBRARY ${name}\nEXPORTS\n")
foreach(entry ${entries})
  string(REGEX REPLACE "^.*\\] " "" symbol "${entry}")
  string(APPEND text "  ${symbol}\n")
endforeach()
file(WRITE "${DEF}" "${text}")
