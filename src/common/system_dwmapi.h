// dwmapi.dll from the system folder only: a plain LoadLibraryW searches the
// host's own folder first, and a "dwmapi.dll" planted there would run inside
// the host.  Header-only, for the flip's composition test and the monitor.
#pragma once

#include <windows.h>

#include <wchar.h>

// Windows 7 without update KB2533623 refuses the search flag with
// ERROR_INVALID_PARAMETER: then by its full path in the system folder, and
// still never by its bare name.  The caller owns the module.
inline HMODULE LoadSystemDwmapi()
{
    HMODULE module = LoadLibraryExW(L"dwmapi.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (module != nullptr || GetLastError() != ERROR_INVALID_PARAMETER)
        return module;
    wchar_t path[MAX_PATH] = L"";
    const UINT length = GetSystemDirectoryW(path, MAX_PATH - 12);
    if (length == 0 || length >= MAX_PATH - 12)
        return nullptr;
    wcscpy(path + length, L"\\dwmapi.dll");
    return LoadLibraryW(path);
}
