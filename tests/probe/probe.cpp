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

int32_t PrStartMonitor(void)
{
    return Guarded([] { CForegroundMonitor::Acquire()->Release(); });
}

int32_t PrDestroyInstance(uint32_t waitMs)
{
    return Guarded([&] { CForegroundMonitor::DestroyInstance(waitMs); });
}

int32_t PrStartWatch(PrWatchReport report, uint32_t flip, uint32_t neverShownMs)
{
    return Guarded([&] {
        MonitorReference monitor(CForegroundMonitor::Acquire());
        monitor->StartWatch(reinterpret_cast<WatchReport>(report), flip, neverShownMs);
    });
}

int32_t PrEndWatch(uint32_t flip)
{
    return Guarded([&] {
        MonitorReference monitor(CForegroundMonitor::Acquire(false));
        if (monitor)
            monitor->EndWatch(flip);
    });
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

int32_t PrOnForegroundChanged(wchar_t* name, int32_t kind, uint32_t flip)
{
    return Guarded([&] { OnForegroundChanged(name, static_cast<FlipWindow>(kind), flip); });
}

uint32_t PrFlipNumber(void)
{
    return static_cast<uint32_t>(InterlockedCompareExchange(&g_flipState.Flip, 0, 0));
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
