# Cross-build in the MSVC C++ ABI, the ABI that hosts built with Microsoft's
# compiler use: Debian's clang-19 for x86_64-pc-windows-msvc, linked by
# lld-link-19, resources by llvm-rc-19, with the Windows and C-runtime headers
# and import libraries of Wine's libwine-dev.  There is no MSVC C++ standard
# library here: code built this way is freestanding C++ (the language, Win32
# and the C runtime of ucrtbase.dll).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)

set(CMAKE_C_COMPILER clang-19)
set(CMAKE_CXX_COMPILER clang++-19)
set(CMAKE_C_COMPILER_TARGET x86_64-pc-windows-msvc)
set(CMAKE_CXX_COMPILER_TARGET x86_64-pc-windows-msvc)
set(CMAKE_RC_COMPILER llvm-rc-19)
set(CMAKE_LINKER lld-link-19)
set(CMAKE_AR /usr/bin/llvm-ar-19)
set(CMAKE_RANLIB /usr/bin/llvm-ranlib-19)
# No C runtime flavour of MSVC's (/MD, /MT): every module links ucrtbase itself.
set(CMAKE_MSVC_RUNTIME_LIBRARY "")
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)

set(WINE_INCLUDE_DIR /usr/include/wine/wine)
set(WINE_LIBRARY_DIR /usr/lib/x86_64-linux-gnu/wine/x86_64-windows)

# WINE_UNICODE_NATIVE: WCHAR is wchar_t, as under MSVC.  The rename: Wine's
# winnt.h defines an inline function under the name of a clang builtin.
# No thread-safe statics: nothing here provides _Init_thread_header & co.
set(TARVEL_MSVC_FLAGS "-fms-extensions -nostdinc -isystem /usr/lib/llvm-19/lib/clang/19/include \
-isystem ${WINE_INCLUDE_DIR}/msvcrt -isystem ${WINE_INCLUDE_DIR}/windows \
-DWINE_UNICODE_NATIVE -D_InterlockedCompareExchange128=__wine_InterlockedCompareExchange128 \
-DUNICODE -D_UNICODE -fno-threadsafe-statics")
set(CMAKE_C_FLAGS_INIT "${TARVEL_MSVC_FLAGS}")
set(CMAKE_CXX_FLAGS_INIT "${TARVEL_MSVC_FLAGS}")
set(CMAKE_RC_FLAGS_INIT "-I ${WINE_INCLUDE_DIR}/windows")
set(CMAKE_C_STANDARD_LIBRARIES "" CACHE STRING "" FORCE)
set(CMAKE_CXX_STANDARD_LIBRARIES "" CACHE STRING "" FORCE)
# lld-link is called directly, so that nothing is added behind our back (no
# default libraries, no manifest of its own).
set(CMAKE_USER_MAKE_RULES_OVERRIDE ${CMAKE_CURRENT_LIST_DIR}/clang-msvc-rules.cmake)

find_program(WINE64_LOADER NAMES wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH)
if(WINE64_LOADER)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${WINE64_LOADER})
endif()
