// The plug-in's foreground monitor as the monitor tests see it: the same
// operations, reached through tarvel_probe.dll's C interface (probe/probe.h),
// since the monitor is a C++ class of the MSVC ABI and these tests are built
// by mingw-w64.  The pointer GetInstance answers is the monitor's own; this
// class only names it.
#pragma once

#include <windows.h>

#include <cstdint>

#include "probe/probe.h"

namespace ATL {
// What a CAtlException that left the monitor carried.
struct CAtlException {
    HRESULT m_hr;
    operator HRESULT() const { return m_hr; }
};
}  // namespace ATL

using ForegroundCallback = PrForegroundCallback;

class CForegroundMonitor {
public:
    static CForegroundMonitor* GetInstance()
    {
        void* monitor = nullptr;
        Check(PrGetInstance(&monitor));
        return static_cast<CForegroundMonitor*>(monitor);
    }
    static void DestroyInstance() { Check(PrDestroyInstance()); }
    void RegisterCallback(ForegroundCallback callback, uintptr_t context)
    {
        Check(PrRegisterCallback(this, callback, context));
    }
    void UnregisterCallback(ForegroundCallback callback, uintptr_t context)
    {
        Check(PrUnregisterCallback(this, callback, context));
    }

    // The module that holds the monitor's code, whose imports tests patch.
    static HMODULE Module() { return GetModuleHandleW(L"tarvel_probe.dll"); }

    CForegroundMonitor() = delete;

private:
    static void Check(int32_t result)
    {
        if (result != 0)
            throw ATL::CAtlException{result};
    }
};
