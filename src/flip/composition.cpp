#include "flip/composition.h"

#include "common/running_version.h"
#include "common/system_dwmapi.h"
#include "common/unique_handle.h"

namespace {

using DwmIsCompositionEnabledFunction = HRESULT(WINAPI*)(BOOL* enabled);

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
