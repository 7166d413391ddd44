#include "flip/composition.h"

#include <windows.h>

#include "common/unique_handle.h"

namespace {

using DwmIsCompositionEnabledFunction = HRESULT(WINAPI*)(BOOL* enabled);

}  // namespace

bool IsCompositionEnabled()
{
    // The system folder only: a plain LoadLibraryW searches the host's own
    // folder first, and a "dwmapi.dll" planted there would run inside the host
    // on every button press.
    UniqueModule dwmapi(LoadLibraryExW(L"dwmapi.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32));
    if (!dwmapi)
        return false;
    auto query = reinterpret_cast<DwmIsCompositionEnabledFunction>(
        reinterpret_cast<void*>(GetProcAddress(dwmapi.get(), "DwmIsCompositionEnabled")));
    BOOL enabled = FALSE;
    if (query != nullptr)
        query(&enabled);  // a failed query leaves FALSE, which counts as off
    return enabled != FALSE;
}
