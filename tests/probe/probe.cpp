#define TARVEL_PROBE_BUILDING
#include "probe.h"

#include "flip/flip_state.h"
#include "foreground/foreground_monitor.h"
#include "host/host.h"

namespace {

// Runs `call`; the HRESULT of a CAtlException that left it, E_FAIL for any
// other exception, 0 when none did.
template <typename Call>
int32_t Guarded(Call call) noexcept
{
    try {
        call();
        return 0;
    } catch (const ATL::CAtlException& error) {
        return error.m_hr;
    } catch (...) {
        return E_FAIL;
    }
}

}  // namespace

extern "C" {

int32_t PrGetInstance(void** monitor)
{
    *monitor = nullptr;
    return Guarded([&] { *monitor = CForegroundMonitor::GetInstance(); });
}

int32_t PrDestroyInstance(void)
{
    return Guarded([] { CForegroundMonitor::DestroyInstance(); });
}

int32_t PrRegisterCallback(void* monitor, PrForegroundCallback callback, uintptr_t context)
{
    return Guarded([&] { static_cast<CForegroundMonitor*>(monitor)->RegisterCallback(callback, context); });
}

int32_t PrUnregisterCallback(void* monitor, PrForegroundCallback callback, uintptr_t context)
{
    return Guarded([&] { static_cast<CForegroundMonitor*>(monitor)->UnregisterCallback(callback, context); });
}

int32_t PrStartFlip(void* record)
{
    return Guarded([&] {
        const auto& context = *static_cast<MacroContext*>(record);
        RememberApplication(context.Application);
        StartFlip(context);
    });
}

int32_t PrEndFlipFromHost(void)
{
    return Guarded([] { EndFlipFromHost(); });
}

int32_t PrOnForegroundChanged(wchar_t* name, uintptr_t context)
{
    return Guarded([&] { OnForegroundChanged(name, context); });
}

int32_t PrFlipPhase(void)
{
    return InterlockedCompareExchange(&g_flipState.Phase, 0, 0);
}

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID)
{
    return TRUE;
}
}
