// Desktop composition as the plug-in sees it, for the demonstration (and the
// benchmarks, which ask it the same way).
#pragma once

#include <windows.h>

// Asks the desktop window manager whether composition is on, the way the
// plug-in does: dwmapi.dll from the system folder only.
inline bool SystemCompositionEnabled()
{
    HMODULE dwmapi = LoadLibraryExW(L"dwmapi.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (dwmapi == nullptr)
        return false;
    using Query = HRESULT(WINAPI*)(BOOL*);
    auto query = reinterpret_cast<Query>(reinterpret_cast<void*>(GetProcAddress(dwmapi, "DwmIsCompositionEnabled")));
    BOOL enabled = FALSE;
    if (query != nullptr)
        query(&enabled);
    FreeLibrary(dwmapi);
    return enabled != FALSE;
}

// Wine's desktop has no composition.  scripts/demo.sh and scripts/bench.sh
// put a stand-in dwmapi.dll in Wine's system folder that answers "on"
// exactly while this variable says so; Windows' own dwmapi.dll ignores it.
inline void RequestComposition(bool on)
{
    SetEnvironmentVariableW(L"TARVEL_TEST_COMPOSITION", on ? L"on" : L"off");
}
