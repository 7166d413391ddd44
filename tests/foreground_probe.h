// The plug-in's foreground monitor as the monitor tests see it: the same
// operations, reached through tarvel_probe.dll's C interface (probe/probe.h),
// since the monitor is a C++ class of the MSVC ABI and these tests are built
// by mingw-w64.  Each call holds a reference on the monitor while it runs.
#pragma once

#include <windows.h>

#include <cstdint>

#include "probe/probe.h"

namespace Monitor {

// A watch whose never-shown bound no test reaches unless it asks.
inline constexpr uint32_t kNoBound = 600000;

inline void Start() { PrStartMonitor(); }
inline void Destroy(uint32_t waitMs = 200) { PrDestroyInstance(waitMs); }
inline void StartWatch(PrWatchReport report, uint32_t flip, uint32_t neverShownMs = kNoBound)
{
    PrStartWatch(report, flip, neverShownMs);
}
inline void EndWatch(uint32_t flip) { PrEndWatch(flip); }
// The module that holds the monitor's code, whose imports tests patch.
inline HMODULE Module() { return GetModuleHandleW(L"tarvel_probe.dll"); }

}  // namespace Monitor
