// A host process for the tests of how a flip ends when its host goes away.
// It loads tarvel.dll from its own folder as a host does, starts a flip with
// a pointing device whose setting is 5, and then does what its one argument
// says, reporting each step, and each value the device is set to, as a line
// on its standard error (its standard output is the plug-in's, which a test
// may leave blocked):
//   destroy  Destroy its only handler, then print the device's setting.
//   exit     return from main, with neither Destroy nor FreeLibrary.
//   free     FreeLibrary without Destroy, then run until told to end.
//   slow     the device takes 600 ms to restore, on the monitor thread;
//            meanwhile Destroy, then print whether the restore had returned;
//            then FreeLibrary and wait for the library to leave the process.
//   locked   Destroy under a lock of the host's own, which the device's
//            look-up on the monitor thread takes too; then let it go, and
//            run until told to end (the device must not be set again).
//   unload   end the flip with a second press, Destroy, FreeLibrary, and
//            print whether the library is still loaded.
//   wait     run until told to end.
//   utf16    put the shared C runtime's standard output in _O_U16TEXT mode
//            before the flip, then run until told to end.
// "Told to end": the event named Local\tarvel-flip-host-<process id> is set.
// Exit code 0 when every step went as the scenario expects, 1 otherwise, 2
// when the plug-in could not be loaded or the flip not started.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "common/unique_handle.h"
#include "host_bridge.h"

namespace {

constexpr uint64_t kDeviceId = 7;

volatile LONG g_setting = 5;
bool g_slowRestore = false;
bool g_lockedRestore = false;
SRWLOCK g_hostLock = SRWLOCK_INIT;
volatile LONG g_restoreReturned = 0;
UniqueHandle g_restoring(CreateEventW(nullptr, TRUE, FALSE, nullptr));

void Say(const char* format, long value = 0)
{
    std::fprintf(stderr, format, value);
    std::fprintf(stderr, "\n");
}

int32_t GetSetting(void*, int32_t* setting)
{
    *setting = g_setting;
    return 0;
}

int32_t SetSetting(void*, int32_t setting)
{
    if (setting != 1 && g_slowRestore) {
        SetEvent(g_restoring.get());
        Sleep(600);  // a host call that takes its time, not a wait for the test
    }
    InterlockedExchange(&g_setting, setting);
    Say("set %ld", setting);
    if (setting != 1)
        InterlockedExchange(&g_restoreReturned, 1);
    return 0;
}

TbDevice* g_device = nullptr;

TbDevice* GetDevice(void*, uint64_t deviceId)
{
    if (g_lockedRestore) {  // the flip's end, on the monitor thread
        SetEvent(g_restoring.get());
        AcquireSRWLockExclusive(&g_hostLock);
        ReleaseSRWLockExclusive(&g_hostLock);
    }
    return deviceId == kDeviceId ? g_device : nullptr;
}

void WaitUntilToldToEnd()
{
    const std::wstring name = L"Local\\tarvel-flip-host-" + std::to_wstring(GetCurrentProcessId());
    UniqueHandle end(CreateEventW(nullptr, TRUE, FALSE, name.c_str()));
    WaitForSingleObject(end.get(), 60000);
}

// What a host built with Microsoft's compiler does with
// _setmode(_fileno(stdout), _O_U16TEXT), on the same runtime: ucrtbase.dll,
// which the plug-in writes through and tarvel-bridge.dll has loaded.  This
// program's own runtime (mingw-w64's msvcrt.dll) has a standard output of its
// own, on the same handle, which the other lines go through.
bool PutSharedOutputInUtf16Mode()
{
    HMODULE ucrt = GetModuleHandleW(L"ucrtbase.dll");
    if (ucrt == nullptr)
        return false;
    auto find = [ucrt](const char* name) { return reinterpret_cast<void*>(GetProcAddress(ucrt, name)); };
    auto stream = reinterpret_cast<void* (*)(unsigned)>(find("__acrt_iob_func"));
    auto descriptor = reinterpret_cast<int (*)(void*)>(find("_fileno"));
    auto setMode = reinterpret_cast<int (*)(int, int)>(find("_setmode"));
    constexpr int kU16Text = 0x20000;  // _O_U16TEXT
    return stream != nullptr && descriptor != nullptr && setMode != nullptr &&
           setMode(descriptor(stream(1)), kU16Text) != -1;
}

bool WaitUnloaded(DWORD limitMs)
{
    for (DWORD waited = 0; waited < limitMs; waited += 20) {
        if (GetModuleHandleW(L"tarvel.dll") == nullptr)
            return true;
        Sleep(20);
    }
    return false;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    const std::wstring scenario = argc > 1 ? argv[1] : L"";
    g_slowRestore = scenario == L"slow";
    g_lockedRestore = scenario == L"locked";

    HMODULE plugin = LoadLibraryW(L"tarvel.dll");
    auto create = plugin != nullptr ? reinterpret_cast<void* (*)(const wchar_t*)>(
                                          reinterpret_cast<void*>(GetProcAddress(plugin, "CreateMacro")))
                                    : nullptr;
    void* handler = create != nullptr ? create(L"Tarvel") : nullptr;
    if (handler == nullptr)
        return 2;

    TbPointingCallbacks pointing{nullptr, &GetSetting, &SetSetting};
    g_device = TbCreatePointingDevice(&pointing, TbPointingFirst);
    TbApplicationCallbacks callbacks{nullptr, &GetDevice, nullptr, nullptr};
    TbApplication* application = TbCreateApplication(&callbacks);
    TbContext* context = TbCreateContext(g_device, application, kDeviceId, L"C:\\host\\");
    if (scenario == L"utf16" && !PutSharedOutputInUtf16Mode())
        return 2;
    TbThrow thrown{};
    if (TbExecute(handler, context, &thrown) != 1 || thrown.kind != TbNoThrow)
        return 2;
    Say("flip started, setting %ld", g_setting);

    int status = 0;
    if (scenario == L"destroy") {
        TbDestroy(handler, &thrown);
        Say("destroyed, setting %ld", g_setting);
        status = g_setting == 5 ? 0 : 1;
    } else if (scenario == L"exit") {
        return 0;
    } else if (scenario == L"free") {
        FreeLibrary(plugin);
        Say("freed");
        WaitUntilToldToEnd();
    } else if (scenario == L"slow") {
        if (WaitForSingleObject(g_restoring.get(), 30000) != WAIT_OBJECT_0)
            return 1;
        TbDestroy(handler, &thrown);
        // The host frees its objects from here on.
        const long returned = InterlockedCompareExchange(&g_restoreReturned, 0, 0);
        Say("destroyed, the restore had returned: %ld", returned);
        FreeLibrary(plugin);
        const bool unloaded = WaitUnloaded(10000);
        Say("unloaded: %ld", unloaded);
        status = returned != 0 && unloaded ? 0 : 1;
    } else if (scenario == L"locked") {
        AcquireSRWLockExclusive(&g_hostLock);
        if (WaitForSingleObject(g_restoring.get(), 30000) != WAIT_OBJECT_0)
            return 1;
        TbDestroy(handler, &thrown);
        Say("destroyed");
        ReleaseSRWLockExclusive(&g_hostLock);
        WaitUntilToldToEnd();
        status = g_setting == 1 ? 0 : 1;
    } else if (scenario == L"unload") {
        TbExecute(handler, context, &thrown);  // the second press ends the flip
        TbDestroy(handler, &thrown);
        FreeLibrary(plugin);
        Say("loaded after FreeLibrary: %ld", GetModuleHandleW(L"tarvel.dll") != nullptr);
        status = GetModuleHandleW(L"tarvel.dll") == nullptr ? 0 : 1;
    } else if (scenario == L"wait" || scenario == L"utf16") {
        WaitUntilToldToEnd();
    } else {
        return 2;
    }
    TbDestroyContext(context);
    TbDestroyApplication(application);
    TbDestroyDevice(g_device);
    return status;
}
