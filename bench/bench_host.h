// What the benchmarks hand to the plug-in as its host: a pointing device kept
// in memory (the system's pointer speed stays untouched), an application that
// finds it, and tarvel.dll or the do-nothing plug-in loaded like a host loads
// them.  Also the composition switch of the stand-in dwmapi.dll and a way to
// keep the plug-in's diagnostic lines out of the figures' output.
#pragma once

#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>

#include "composition.h"
#include "host/host.h"
#include "support/fake_host.h"

inline constexpr uint64_t kBenchMouseId = 9;
inline constexpr int kBenchSetting = 5;

class BenchMouse : public IPointingDevice {
public:
    int GetSetting() override { return m_setting; }
    void SetSetting(int value) override { m_setting = value; }

private:
    volatile int m_setting = kBenchSetting;
};

class BenchHost : public OneDeviceApplication {
public:
    explicit BenchHost(IDevice* mouse) : OneDeviceApplication(kBenchMouseId, mouse) {}
};

inline MacroContext MakeBenchContext(BenchMouse& mouse, BenchHost& host)
{
    MacroContext context;
    context.Device = &mouse;
    context.Application = &host;
    context.DeviceId = kBenchMouseId;
    context.HostFolder = L"C:\\Host\\";
    return context;
}

// Composition on for this process, as far as the stand-in dwmapi.dll goes.
inline bool TurnCompositionOn()
{
    RequestComposition(true);
    return SystemCompositionEnabled();
}

// Sends standard output (the plug-in's diagnostic lines among it) to NUL for
// its lifetime.
class SilencedOutput {
public:
    SilencedOutput()
    {
        std::fflush(stdout);
        m_saved = _dup(1);
        const int nul = _open("NUL", _O_WRONLY);
        if (nul >= 0) {
            _dup2(nul, 1);
            _close(nul);
        }
    }
    ~SilencedOutput()
    {
        std::fflush(stdout);
        if (m_saved >= 0) {
            _dup2(m_saved, 1);
            _close(m_saved);
        }
    }
    SilencedOutput(const SilencedOutput&) = delete;
    SilencedOutput& operator=(const SilencedOutput&) = delete;

private:
    int m_saved = -1;
};
