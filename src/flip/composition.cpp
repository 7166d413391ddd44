#include "flip/composition.h"

#include <wchar.h>

#include "common/running_version.h"
#include "common/unique_handle.h"

namespace {

using DwmIsCompositionEnabledFunction = HRESULT(WINAPI*)(BOOL* enabled);

// Windows 7 without update KB2533623 refuses the search flag with
// ERROR_INVALID_PARAMETER: then by its full path in the system folder, and
// still never by its bare name.
HMODULE LoadSystemDwmapi()
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

// Read once; 0 until then (constant-initialised, nothing runs at load).
volatile LONG g_version = 0;

}  // namespace

DWORD RunningWindowsVersion()
{
    LONG version = g_version;
    if (version == 0) {
        version = static_cast<LONG>(ReadRunningWindowsVersion());
        InterlockedExchange(&g_version, version);
    }
    return static_cast<DWORD>(version);
}

bool IsCompositionEnabled()
{
    // Always on from Windows 8, yet DwmIsCompositionEnabled answers FALSE to
    // a process whose manifest does not name Windows 8, as most hosts' do not.
    if (RunningWindowsVersion() >= kWindows8)
        return true;
    // The system folder only: a plain LoadLibraryW searches the host's own
    // folder first, and a "dwmapi.dll" planted there would run inside the host
    // on every button press.
    UniqueModule dwmapi(LoadSystemDwmapi());
    if (!dwmapi)
        return false;
    auto query = reinterpret_cast<DwmIsCompositionEnabledFunction>(
        reinterpret_cast<void*>(GetProcAddress(dwmapi.get(), "DwmIsCompositionEnabled")));
    BOOL enabled = FALSE;
    if (query != nullptr)
        query(&enabled);  // a failed query leaves FALSE, which counts as off
    return enabled != FALSE;
}
