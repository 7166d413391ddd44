# Installs the build into a scratch folder as `cmake --install --strip` does
# for the release package, checks the layout, and compiles a host against the
# installed SDK headers alone (nothing else of the source tree on the path).
# Arguments: BUILD (the top-level build folder), VERSION, CXX, TARGET and
# FLAGS (the compiler, its target and its flags for the MSVC ABI).
# Run with -P by the test that host_plugins/CMakeLists.txt adds; the mingw
# tests' fragment glob includes it as well, and then it does nothing.
if(NOT CMAKE_SCRIPT_MODE_FILE)
  return()
endif()
cmake_policy(VERSION 3.16)  # IN_LIST and lists that keep empty elements
set(prefix "${BUILD}/package-check")
file(REMOVE_RECURSE "${prefix}")
execute_process(COMMAND ${CMAKE_COMMAND} --install "${BUILD}" --prefix "${prefix}" --strip
                RESULT_VARIABLE installed OUTPUT_QUIET ERROR_VARIABLE errors)
if(NOT installed EQUAL 0)
  message(FATAL_ERROR "cmake --install --strip failed:\n${errors}")
endif()

foreach(file tarvel.dll tarvel-host.exe tarvel-bridge.dll LICENSE.txt sdk/LICENSE.txt sdk/README.md
             tarvel-host/Pluggins/ZeltoAppSwitcher.exe README.txt
             sdk/include/host/host.h sdk/include/macro/macro.h
             sdk/include/strings/res_string.h sdk/include/strings/atl_exception.h
             sdk/include/plugin/exports.h sdk/example/example_host.cpp)
  if(NOT EXISTS "${prefix}/${file}")
    message(FATAL_ERROR "missing from the package: ${file}")
  endif()
endforeach()
# The user guide opens in Notepad: every line ends in CR LF.  Read as bytes
# (text mode would drop the CRs), each followed by a comma.
file(READ "${prefix}/README.txt" guide HEX)
string(REGEX REPLACE "(..)" "\\1," guide "${guide}")
string(REPLACE "0d,0a," "" bareLines "${guide}")
if(bareLines MATCHES "(^|,)0a," OR NOT guide MATCHES "0d,0a,$")
  message(FATAL_ERROR "README.txt in the package has a line that does not end in CR LF")
endif()
# The user guide is one page or two: under 120 lines.
file(READ "${prefix}/README.txt" guideText)
string(REGEX MATCHALL "\n" guideLines "${guideText}")
list(LENGTH guideLines guideLength)
if(guideLength GREATER_EQUAL 120)
  message(FATAL_ERROR "README.txt has ${guideLength} lines: the user guide must stay under 120")
endif()
# The MIT License in the repository, beside the program (and so in the setup
# program's folder, which installs the staged runtime component) and in the
# SDK.  A missing file stops file(STRINGS) itself.
get_filename_component(sourceRoot "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)
foreach(licence "${sourceRoot}/LICENSE" "${prefix}/LICENSE.txt" "${prefix}/sdk/LICENSE.txt"
                "${BUILD}/setup/stage/LICENSE.txt")
  file(STRINGS "${licence}" mit REGEX "^MIT License")
  if(NOT mit)
    message(FATAL_ERROR "${licence} is not the MIT License")
  endif()
endforeach()
# The SDK's README is for the package's reader: every file or folder it names
# in backticks (a path, a header or a source) is in the package, a whole
# path or the end of one.  Compiler options (/MD), commands (with spaces),
# the user's own folders (%LOCALAPPDATA%, C:\...), registry keys
# (HKCU\..., ...\Run) and named objects (Local\...) are not names of the
# package's.
file(GLOB_RECURSE packaged LIST_DIRECTORIES true RELATIVE "${prefix}" "${prefix}/*")
file(READ "${prefix}/sdk/README.md" sdkReadme)
string(REGEX MATCHALL "`[^`\n]+`" quoted "${sdkReadme}")
foreach(name IN LISTS quoted)
  string(REGEX REPLACE "^`|[/\\]?`$" "" name "${name}")
  string(REPLACE "\\" "/" name "${name}")
  if(name MATCHES "^/| |%|^[A-Za-z]:|^HK|^Local/|\\.\\.\\." OR NOT name MATCHES "/|\\.(h|cpp)$")
    continue()
  endif()
  string(REGEX REPLACE "([.+*?^$()|])" "\\\\\\1" pattern "${name}")
  if(NOT packaged MATCHES "(^|;|/)${pattern}(;|$)")
    message(FATAL_ERROR "sdk/README.md names ${name}, which is not in the package")
  endif()
endforeach()
# The ZIP as cpack makes it (into build/package, as the release's): all in
# one folder, Tarvel/, without the version, so that a newer ZIP extracted
# where the older one was replaces its files and Start with Windows keeps its
# program.
set(zip "${BUILD}/package/tarvel-${VERSION}-win64.zip")
file(REMOVE_RECURSE "${BUILD}/package-check-zip" "${zip}")
execute_process(COMMAND cpack -G ZIP --config "${BUILD}/CPackConfig.cmake" -B "${BUILD}/package-check-zip"
                WORKING_DIRECTORY "${BUILD}" OUTPUT_QUIET ERROR_QUIET)
execute_process(COMMAND ${CMAKE_COMMAND} -E tar tf "${zip}" OUTPUT_VARIABLE entries ERROR_VARIABLE errors)
string(REGEX REPLACE "\n$" "" entries "${entries}")
string(REPLACE "\n" ";" entries "${entries}")
list(FILTER entries EXCLUDE REGEX "^Tarvel/")
if(errors OR entries)
  message(FATAL_ERROR "the ZIP ${zip} holds ${entries}${errors}: everything belongs in a plain Tarvel/ folder")
endif()
file(REMOVE_RECURSE "${BUILD}/package-check-zip")

# Stripped: the mingw-w64 programs are built with DWARF sections.
file(STRINGS "${prefix}/tarvel-host.exe" debugSections REGEX "^\\.debug_(info|line|abbrev)$")
if(debugSections)
  message(FATAL_ERROR "tarvel-host.exe in the package still carries debugging sections")
endif()
# A Windows-subsystem program (2, not the console's 3): started from Explorer
# or the Run key, the background mode must open no console window; the app
# switcher is a window too, not a console program such as the tests' recorder.
foreach(program tarvel-host.exe tarvel-host/Pluggins/ZeltoAppSwitcher.exe)
  file(READ "${prefix}/${program}" peOffset OFFSET 60 LIMIT 4 HEX)
  string(REGEX REPLACE "^(..)(..)(..)(..)$" "\\4\\3\\2\\1" peOffset "${peOffset}")
  math(EXPR subsystemOffset "0x${peOffset} + 92")
  file(READ "${prefix}/${program}" subsystem OFFSET ${subsystemOffset} LIMIT 2 HEX)
  if(NOT subsystem STREQUAL "0200")
    message(FATAL_ERROR "${program} in the package is not a Windows-subsystem program (subsystem ${subsystem})")
  endif()
endforeach()
# The real switcher declares itself DPI aware in its manifest.
file(STRINGS "${prefix}/tarvel-host/Pluggins/ZeltoAppSwitcher.exe" dpiAware REGEX "<dpiAwareness[ >]")
if(NOT dpiAware)
  message(FATAL_ERROR "tarvel-host/Pluggins/ZeltoAppSwitcher.exe in the package is not the app switcher "
                      "(no DPI awareness in its manifest)")
endif()
# No stand-in of the tests or the demonstration, and no Pluggins/ at the top,
# where copying the package over another host's folder would replace that
# host's own app switcher.
file(GLOB_RECURSE everything RELATIVE "${prefix}" "${prefix}/*")
foreach(file ${everything})
  if(file MATCHES "(_test|_bench)\\.exe$|\\.(dll\\.a|lib|pdb)$|null_plugin|throwing|probe|dwmapi"
     OR file MATCHES "recorder|tarvel-demo-|explorer\\.exe$|foreground_window|^Pluggins/")
    message(FATAL_ERROR "the package must not carry ${file}")
  endif()
endforeach()

# A host that uses every SDK header the way one built with an MSVC-ABI
# compiler does.
set(source "${prefix}/sdk-check.cpp")
file(WRITE "${source}" [=[
#include "strings/atl_exception.h"
#include "host/host.h"
#include "macro/macro.h"
#include "plugin/exports.h"
#include "strings/res_string.h"

class Mouse : public IPointingDevice {
public:
    int GetSetting() override { return 5; }
    void SetSetting(int) override {}
};

int Run(HMODULE plugin)
{
    auto create = reinterpret_cast<CreateMacroFunction>(reinterpret_cast<void*>(GetProcAddress(plugin, "CreateMacro")));
    IHandler* handler = create(L"Tarvel");
    Mouse mouse;
    MacroContext context;
    context.Device = &mouse;
    context.HostFolder = CResString(L"C:\\Host\\");
    int32_t result = 0;
    try {
        result = handler->Execute(&context);
    } catch (const ATL::CAtlException& exception) {
        result = static_cast<HRESULT>(exception);
    }
    static_cast<CHandler*>(handler)->Lock();
    static_cast<CHandler*>(handler)->Unlock();
    static_cast<IInterface*>(handler)->Destroy();
    return result;
}
]=])
separate_arguments(flags UNIX_COMMAND "${FLAGS}")
execute_process(COMMAND "${CXX}" --target=${TARGET} ${flags} -std=c++20 -Wall -Wextra -fsyntax-only
                        -I "${prefix}/sdk/include" "${source}"
                RESULT_VARIABLE compiled ERROR_VARIABLE errors)
if(NOT compiled EQUAL 0)
  message(FATAL_ERROR "a host does not compile against the installed SDK headers:\n${errors}")
endif()

# The example host, as its authors would build it: the packaged headers are
# the only ones of this project on the path, and it compiles to an object
# whose only outside references are the C runtime's and the system's, so
# nothing of the plug-in has to be linked (Lock/Unlock go through the table).
set(example "${prefix}/sdk/example/example_host.cpp")
execute_process(COMMAND "${CXX}" --target=${TARGET} ${flags} -std=c++20 -Wall -Wextra -Werror -Wno-invalid-offsetof
                        -I "${prefix}/sdk/include" -c "${example}" -o "${prefix}/example_host.obj"
                RESULT_VARIABLE compiled ERROR_VARIABLE errors)
if(NOT compiled EQUAL 0)
  message(FATAL_ERROR "the example host does not compile against sdk/include alone:\n${errors}")
endif()
find_program(NM NAMES llvm-nm-19 llvm-nm REQUIRED)
execute_process(COMMAND "${NM}" --undefined-only --just-symbol-name "${prefix}/example_host.obj"
                OUTPUT_VARIABLE undefined RESULT_VARIABLE listed)
# Decorated names of the SDK's classes' members, or the entry points by name.
string(REPLACE "\n" ";" undefined "${undefined}")
set(pluginSymbols)
foreach(symbol IN LISTS undefined)
  if(symbol MATCHES "@(C|I)Handler@@|@(C|I)Macro@@|@IInterface@@|^(Initialize|GetCapability|IsMacroSupported|CreateMacro)$")
    list(APPEND pluginSymbols "${symbol}")
  endif()
endforeach()
if(NOT listed EQUAL 0 OR pluginSymbols)
  message(FATAL_ERROR "the example host needs the plug-in's code linked: ${pluginSymbols}")
endif()

file(REMOVE_RECURSE "${prefix}")
message(STATUS "package layout and SDK headers of version ${VERSION}: fine")
