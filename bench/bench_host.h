// What the benchmarks hand to the plug-in as its host, through
// tarvel-bridge.dll: a pointing device kept in memory (the system's pointer
// speed stays untouched), an application that finds it and the record that
// names both.  Also the composition switch of the stand-in dwmapi.dll and a
// way to keep the plug-in's diagnostic lines out of the figures' output.
#pragma once

#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "common/unique_handle.h"
#include "composition.h"
#include "support/fake_host.h"

inline constexpr uint64_t kBenchMouseId = 9;
inline constexpr int kBenchSetting = 5;

// Records nothing, so that its cost stays the same over any number of presses.
class BenchMouse : public HostDevice {
public:
    BenchMouse()
    {
        const TbPointingCallbacks callbacks{this, &GetCall, &SetCall};
        Attach(TbCreatePointingDevice(&callbacks, TbPointingFirst));
    }
    int GetSetting() const { return m_setting; }
    void SetSetting(int value) { m_setting = value; }

private:
    static int32_t GetCall(void* self, int32_t* setting)
    {
        *setting = static_cast<BenchMouse*>(self)->GetSetting();
        return 0;
    }
    static int32_t SetCall(void* self, int32_t setting)
    {
        static_cast<BenchMouse*>(self)->SetSetting(setting);
        return 0;
    }

    volatile int m_setting = kBenchSetting;
};

class BenchHost : public OneDeviceApplication {
public:
    explicit BenchHost(BenchMouse& mouse) : OneDeviceApplication(kBenchMouseId, mouse.Bridge()) {}
};

inline void SetUpBenchContext(HostContext& context, BenchMouse& mouse, BenchHost& host)
{
    context.SetDevice(&mouse);
    context.SetApplication(&host);
    context.SetDeviceId(kBenchMouseId);
    context.SetHostFolder(L"C:\\Host\\");
}

// Execute through the bridge; -1 when an exception left the plug-in.
inline int32_t BenchExecute(void* handler, HostContext& context)
{
    TbThrow thrown{};
    const int32_t result = TbExecute(handler, context.Bridge(), &thrown);
    return thrown.kind == TbNoThrow ? result : -1;
}

inline bool BenchDestroy(void* handler)
{
    TbThrow thrown{};
    TbDestroy(handler, &thrown);
    return thrown.kind == TbNoThrow;
}

// Composition on for this process, as far as the stand-in dwmapi.dll goes.
inline bool TurnCompositionOn()
{
    RequestComposition(true);
    return SystemCompositionEnabled();
}

// Sends standard output to a temporary file for its lifetime (removed when
// closed): descriptor 1 of this program's C runtime (msvcrt.dll) and of
// ucrtbase.dll, which the plug-in writes its diagnostic lines through.  Not
// NUL: Wine's C runtime takes that character device for a terminal and leaves
// the stream unbuffered, so that fwrite makes one system call per byte (about
// 0.9 ms for a line), which neither Windows' runtime (it buffers fwrite on
// standard output for the call) nor a host's file or pipe would show.
// Both descriptors start on one shared
// handle, and _dup2 closes a descriptor's handle before replacing it: the
// shared handle is protected from closing meanwhile, so that the second
// runtime's _dup2 cannot close whatever took its value after the first one.
class SilencedOutput {
public:
    SilencedOutput()
    {
        if (!FindUcrt())
            return;
        std::fflush(stdout);
        m_ucrt.flushAll();
        m_shared = reinterpret_cast<HANDLE>(_get_osfhandle(1));
        if (m_shared == INVALID_HANDLE_VALUE)
            m_shared = nullptr;
        if (m_shared != nullptr)
            SetHandleInformation(m_shared, HANDLE_FLAG_PROTECT_FROM_CLOSE, HANDLE_FLAG_PROTECT_FROM_CLOSE);
        m_saved = _dup(1);
        m_ucrtSaved = m_ucrt.dup(1);
        const int nul = _open(DiscardFile("msvcrt").c_str(), kDiscardFlags, _S_IREAD | _S_IWRITE);
        const int ucrtNul = m_ucrt.open(DiscardFile("ucrt").c_str(), kDiscardFlags, _S_IREAD | _S_IWRITE);
        if (nul >= 0) {
            _dup2(nul, 1);
            _close(nul);
        }
        if (ucrtNul >= 0) {
            m_ucrt.dup2(ucrtNul, 1);
            m_ucrt.close(ucrtNul);
        }
    }
    ~SilencedOutput()
    {
        if (!m_ucrtModule)
            return;
        std::fflush(stdout);
        m_ucrt.flushAll();
        if (m_saved >= 0) {
            _dup2(m_saved, 1);
            _close(m_saved);
        }
        if (m_ucrtSaved >= 0) {
            m_ucrt.dup2(m_ucrtSaved, 1);
            m_ucrt.close(m_ucrtSaved);
        }
        // Both descriptors now hold copies of it: the original is nobody's.
        if (m_shared != nullptr) {
            SetHandleInformation(m_shared, HANDLE_FLAG_PROTECT_FROM_CLOSE, 0);
            CloseHandle(m_shared);
        }
    }
    SilencedOutput(const SilencedOutput&) = delete;
    SilencedOutput& operator=(const SilencedOutput&) = delete;

private:
    static constexpr int kDiscardFlags = _O_WRONLY | _O_CREAT | _O_TRUNC | _O_TEMPORARY;
    // One file per runtime: each opens its own.
    static std::string DiscardFile(const char* runtime)
    {
        char folder[MAX_PATH + 1] = "";
        GetTempPathA(MAX_PATH, folder);
        return std::string(folder) + "tarvel-bench-" + std::to_string(GetCurrentProcessId()) + "-" + runtime +
               ".tmp";
    }

    struct Ucrt {
        int (*dup)(int);
        int (*dup2)(int, int);
        int (*close)(int);
        int (*open)(const char*, int, ...);
        int (*flushAll)();
    };
    template <typename Function>
    void Find(const char* name, Function& function)
    {
        function = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(m_ucrtModule.get(), name)));
    }
    bool FindUcrt()
    {
        m_ucrtModule.reset(LoadLibraryW(L"ucrtbase.dll"));
        if (!m_ucrtModule)
            return false;
        Find("_dup", m_ucrt.dup);
        Find("_dup2", m_ucrt.dup2);
        Find("_close", m_ucrt.close);
        Find("_open", m_ucrt.open);
        Find("_flushall", m_ucrt.flushAll);
        if (m_ucrt.dup && m_ucrt.dup2 && m_ucrt.close && m_ucrt.open && m_ucrt.flushAll)
            return true;
        m_ucrtModule.reset();
        return false;
    }

    UniqueModule m_ucrtModule;
    Ucrt m_ucrt{};
    HANDLE m_shared = nullptr;  // descriptor 1's handle in both runtimes before
    int m_saved = -1;
    int m_ucrtSaved = -1;
};
