# Puts our dwmapi.dll into the test prefix's system folder (ACTION=install),
# keeping Wine's own file aside, or puts Wine's back (ACTION=restore).
# Run by ctest, whose environment names the prefix.
if(NOT DEFINED ENV{WINEPREFIX})
  message(FATAL_ERROR "WINEPREFIX is not set: run the tests through scripts/test.sh")
endif()
set(system32 "$ENV{WINEPREFIX}/drive_c/windows/system32")
set(original "${system32}/dwmapi.dll.wine-original")

if(ACTION STREQUAL "install")
  if(NOT EXISTS "${original}" AND EXISTS "${system32}/dwmapi.dll")
    file(RENAME "${system32}/dwmapi.dll" "${original}")
  endif()
  file(COPY_FILE "${FAKE}" "${system32}/dwmapi.dll")
elseif(ACTION STREQUAL "restore")
  if(EXISTS "${original}")
    file(RENAME "${original}" "${system32}/dwmapi.dll")
  endif()
else()
  message(FATAL_ERROR "ACTION must be install or restore")
endif()
