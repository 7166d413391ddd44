# Stages the package's `runtime` component into STAGE (afresh) and writes the
# setup program's file list from what is there to OUTPUT: the macro
# TarvelInstallFiles (File for each staged file, in its folder) and
# TarvelRemoveFiles (Delete for each, then RMDir for each subfolder, deepest
# first, so that only folders left empty go).  Run with -P; BUILD is the
# top-level build folder.
file(REMOVE_RECURSE "${STAGE}")
execute_process(COMMAND ${CMAKE_COMMAND} --install "${BUILD}" --component runtime --prefix "${STAGE}" --strip
                RESULT_VARIABLE staged OUTPUT_QUIET ERROR_VARIABLE errors)
if(NOT staged EQUAL 0)
  message(FATAL_ERROR "cannot stage the runtime component:\n${errors}")
endif()
file(GLOB_RECURSE files LIST_DIRECTORIES false RELATIVE "${STAGE}" "${STAGE}/*")
if(NOT files)
  message(FATAL_ERROR "nothing staged in ${STAGE}")
endif()
list(SORT files)

# A name as NSIS reads it inside double quotes: $ is its escape character.
function(nsis_text out text)
  string(REPLACE "$" "$$" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

set(install "!macro TarvelInstallFiles\n")
set(remove "!macro TarvelRemoveFiles\n")
set(folders "")
set(current "-")
foreach(file ${files})
  get_filename_component(folder "${file}" DIRECTORY)
  string(REPLACE "/" "\\" target "${file}")
  nsis_text(target "${target}")
  nsis_text(source "${STAGE}/${file}")
  if(NOT folder STREQUAL current)
    string(REPLACE "/" "\\" outPath "${folder}")
    nsis_text(outPath "${outPath}")
    if(folder STREQUAL "")
      string(APPEND install "  SetOutPath \"$INSTDIR\"\n")
    else()
      string(APPEND install "  SetOutPath \"$INSTDIR\\${outPath}\"\n")
    endif()
    set(current "${folder}")
  endif()
  string(APPEND install "  File \"${source}\"\n")
  string(APPEND remove "  Delete \"$INSTDIR\\${target}\"\n")
  # Every folder on the way, so that nested ones go too.
  while(NOT folder STREQUAL "")
    list(APPEND folders "${folder}")
    get_filename_component(folder "${folder}" DIRECTORY)
  endwhile()
endforeach()
list(REMOVE_DUPLICATES folders)
list(SORT folders)
list(REVERSE folders)  # a folder sorts before what is inside it
foreach(folder ${folders})
  string(REPLACE "/" "\\" folder "${folder}")
  nsis_text(folder "${folder}")
  string(APPEND remove "  RMDir \"$INSTDIR\\${folder}\"\n")
endforeach()
string(APPEND install "!macroend\n")
string(APPEND remove "!macroend\n")
# The staged program itself, which the installer runs from its temporary
# folder to end a running copy of any version.
nsis_text(program "${STAGE}/tarvel-host.exe")
file(WRITE "${OUTPUT}" "; Written by tools/setup/setup_files.cmake from ${STAGE}\n${install}${remove}"
                       "!define TARVEL_HOST_STAGED \"${program}\"\n")
