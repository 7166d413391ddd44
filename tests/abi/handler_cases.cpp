// The real tarvel.dll driven as a host built with Microsoft's compiler drives
// it: the handler's tables by position, host objects and strings crossing the
// boundary, and exceptions passing through the plug-in's frames.
#include <windows.h>
#include <shellapi.h>

#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <wchar.h>

#include "abi_check.h"
#include "host/host.h"
#include "plugin_host.h"

namespace {

// ---- The handler's own table, called by position with `this` first ----

enum HandlerSlot { kQueryOption, kExecute, kGetKind, kSetHost, kGetHostValue, kReset, kQueryHost,
                   kQueryExtraOption, kLock, kUnlock };

template <typename Function>
Function Slot(const void* object, size_t index)
{
    return reinterpret_cast<Function>((*static_cast<void* const* const*>(object))[index]);
}

// ---- Host objects ----

// All three links of QueryHost's chain in one object, each handed out as its
// own interface pointer (each at its own offset), so the plug-in must call
// every link through the pointer it was given.
class HostChain final : public IHostObject, public IHostService, public IHostProvider {
public:
    static constexpr uintptr_t kValue = 0xC0FFEE0012345678;
    bool ServiceMissing = false;
    bool ProviderMissing = false;
    int Reserved = 0;  // calls that landed in a slot the plug-in must not use
    int QueryServiceCalls = 0;
    int GetProviderCalls = 0;
    int GetValueCalls = 0;
    uintptr_t Arguments[3] = {};

    void Reserved1() override { ++Reserved; }
    void Reserved2() override { ++Reserved; }
    void Reserved3() override { ++Reserved; }
    void Reserved4() override { ++Reserved; }
    void Reserved5() override { ++Reserved; }
    void Reserved6() override { ++Reserved; }
    IHostService* QueryService(uintptr_t first, uintptr_t second, uintptr_t third) override
    {
        ++QueryServiceCalls;
        Arguments[0] = first;
        Arguments[1] = second;
        Arguments[2] = third;
        return ServiceMissing ? nullptr : this;
    }
    IHostProvider* GetProvider() override
    {
        ++GetProviderCalls;
        return ProviderMissing ? nullptr : this;
    }
    uintptr_t GetValue() override
    {
        ++GetValueCalls;
        return kValue;
    }
    void* AsHostObject() { return static_cast<IHostObject*>(this); }
    bool Calls(int service, int provider, int value) const
    {
        return QueryServiceCalls == service && GetProviderCalls == provider && GetValueCalls == value && Reserved == 0;
    }
};

class HostTranslator final : public ITranslator {
public:
    const wchar_t* Translation = L"";
    int Calls = 0;
    int BadCalls = 0;  // a wrong key, or a text that did not arrive empty
    bool Translate(CResString key, CResString& text) override
    {
        ++Calls;
        if (!(key == L"HELP_QUICKSWITCH") || key.size() != 16 || !text.empty())
            ++BadCalls;
        text = Translation;  // grows the plug-in's string, which the plug-in frees
        return true;
    }  // `key` is destroyed here: under the MSVC ABI the callee's part
};

class HostApplication final : public IApplication {
public:
    ITranslator* Translator = nullptr;
    IDevice* Device = nullptr;
    uint64_t DeviceId = 0;
    int WrongIds = 0;
    ITranslator* GetTranslator() override { return Translator; }
    IDevice* GetDevice(uint64_t deviceId) override
    {
        WrongIds += deviceId != DeviceId;
        return Device;
    }
};

struct HostDeviceError {
    int Code;
};

// The host's own device base comes first, so the plug-in's dynamic_cast from
// it to IPointingDevice must move the pointer; its operations count calls
// that the plug-in routed through the wrong table.
class HostDevice : public IDevice {
public:
    virtual int BatteryLevel() { ++Misrouted; return 50; }
    virtual void Rename(int) { ++Misrouted; }
    int Misrouted = 0;
};

class HostMouse final : public HostDevice, public IPointingDevice {
public:
    int Setting = 7;
    int ThrowOn = 0;  // SetSetting of this value throws HostDeviceError
    int Log[16] = {};  // 0 for GetSetting, the value for SetSetting
    int LogSize = 0;

    int GetSetting() override
    {
        Note(0);
        return Setting;
    }
    void SetSetting(int value) override
    {
        Note(value);
        if (value == ThrowOn)
            throw HostDeviceError{value};
        Setting = value;
    }
    IDevice* AsHostDevice() { return static_cast<HostDevice*>(this); }
    template <typename... Entries>
    bool Logged(Entries... entries) const
    {
        const int expected[] = {entries...};
        return LogSize == sizeof...(entries) && memcmp(Log, expected, sizeof(expected)) == 0;
    }

private:
    void Note(int entry)
    {
        if (LogSize < 16)
            Log[LogSize++] = entry;
    }
};

// ---- Helpers ----

// The handler's mutex: a protected member of the declared class, reached as
// a host's class deriving from it could.
struct MutexOf : CHandler {
    static HANDLE Get(IHandler* handler) { return static_cast<CHandler*>(handler)->*&MutexOf::Mutex; }
};

struct LockAttempt {
    CHandler* Handler;
    bool Locked;
};

DWORD WINAPI TryLock(void* parameter)
{
    auto* attempt = static_cast<LockAttempt*>(parameter);
    if ((attempt->Locked = attempt->Handler->Lock()))
        attempt->Handler->Unlock();
    return 0;
}

// The handler's mutex belongs to a thread: only another one sees it held.
bool LocksOnAnotherThread(IHandler* handler)
{
    LockAttempt attempt{static_cast<CHandler*>(handler), false};
    UniqueHandle thread(CreateThread(nullptr, 0, &TryLock, &attempt, 0, nullptr));
    // No limit: the thread uses this frame (and the handler waits 2 s at most).
    return thread && WaitForSingleObject(thread.get(), INFINITE) == WAIT_OBJECT_0 && attempt.Locked;
}

// Where the plug-in's ShellExecuteExW calls land instead: nothing starts
// (and Wine's shell32 would crash on a 3,000-character path).
struct LaunchRecord {
    int Calls;
    bool BadSize;
    wchar_t File[4096];
    wchar_t Parameters[4096];
} g_launch;

BOOL WINAPI RecordLaunch(SHELLEXECUTEINFOW* info)
{
    ++g_launch.Calls;
    g_launch.BadSize = g_launch.BadSize || info->cbSize != sizeof(*info);
    lstrcpynW(g_launch.File, info->lpFile, 4096);  // a longer text is cut, and fails its check
    lstrcpynW(g_launch.Parameters, info->lpParameters, 4096);
    info->hProcess = nullptr;
    return TRUE;
}

void* __cdecl FailingMalloc(size_t) { return nullptr; }

CResString Repeated(const wchar_t* start, wchar_t fill, size_t length, const wchar_t* end)
{
    CResString text(start);
    text.resize(length - wcslen(end), fill);
    text += end;
    return text;
}

// Short and 3,000-character host folders and translations, in all four pairs.
struct LaunchTexts {
    CResString Folders[2] = {CResString(L"C:\\a\\"), Repeated(L"C:\\", L'f', 3000, L"\\")};
    CResString Translations[2] = {CResString(L"Pick \"one\""), Repeated(L"", L't', 3000, L"")};
    const CResString& Folder(int round) const { return Folders[round % 2]; }
    const CResString& Translation(int round) const { return Translations[round / 2 % 2]; }
};

// A flip needs composition on: the fixture's stand-in dwmapi, asked as the
// plug-in asks it (from the system folder).
bool CompositionOn()
{
    UniqueModule dwmapi(LoadLibraryExW(L"dwmapi.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32));
    using Query = HRESULT(WINAPI*)(BOOL*);
    auto query = reinterpret_cast<Query>(reinterpret_cast<void*>(
        dwmapi ? GetProcAddress(dwmapi.get(), "DwmIsCompositionEnabled") : nullptr));
    BOOL enabled = FALSE;
    if (query != nullptr)
        query(&enabled);
    if (!enabled)
        printf("    composition is off: the flip_dwmapi fixture and TARVEL_TEST_COMPOSITION=on are needed\n");
    return enabled != FALSE;
}

// The keyboard is shared: a failed flip must not leave the key down for the
// cases after it.
struct WindowsKeyGuard {
    ~WindowsKeyGuard()
    {
        if (WindowsKeyDown())
            keybd_event(VK_LWIN, 0, KEYEVENTF_KEYUP, 0);
    }
};

// Key changes may reach the key state after the call that made them.
bool WindowsKeyBecomes(bool down)
{
    for (const ULONGLONG end = GetTickCount64() + 5000; WindowsKeyDown() != down; Sleep(10)) {
        if (GetTickCount64() > end)
            return false;
    }
    return true;
}

// A host with the plug-in loaded (its launches recorded), a translator, a
// mouse whose pointing interface is not at its start, and one handler, which
// goes first: its Destroy may end a flip and so call the host's objects.
struct Host {
    static constexpr uint64_t kDeviceId = 0x8000000100000002;  // both halves matter
    WindowsKeyGuard Key;
    LoadedPlugin Plugin;
    ImportPatch Launch{Plugin.Module(), "shell32.dll", "ShellExecuteExW", reinterpret_cast<void*>(&RecordLaunch)};
    HostTranslator Translator;
    HostMouse Mouse;
    HostApplication Application;
    MacroContext Context;
    HandlerOwner Handler{Plugin ? Plugin.CreateMacro(L"Tarvel") : nullptr};

    Host()
    {
        memset(&g_launch, 0, sizeof(g_launch));
        Application.Translator = &Translator;
        Application.Device = Context.Device = Mouse.AsHostDevice();
        Application.DeviceId = Context.DeviceId = kDeviceId;
        Context.Application = &Application;
    }
    bool Ready() const { return Launch.Applied() && static_cast<bool>(Handler); }
    // Execute's answer, or -1 when the mouse threw (its code in `thrown`).
    int Press(int* thrown)
    {
        try {
            return Handler->Execute(&Context);
        } catch (const HostDeviceError& error) {
            *thrown = error.Code;
            return -1;
        }
    }
};

}  // namespace

void HandlerSlots()
{
    LoadedPlugin plugin;
    REQUIRE(plugin);
    const size_t busy = CrtHeapBusyBytes();
    IHandler* raw = plugin.CreateMacro(L"Tarvel");
    REQUIRE(raw != nullptr);
    const HANDLE rawMutex = MutexOf::Get(raw);
    CHECK(HandleOpen(rawMutex));
    HostChain chain;
    CHECK(!Slot<bool (*)(void*)>(raw, kQueryOption)(raw));
    CHECK(Slot<int32_t (*)(void*)>(raw, kGetKind)(raw) == 1);
    Slot<void (*)(void*, uintptr_t, void*)>(raw, kSetHost)(raw, 0x1234567890, chain.AsHostObject());
    CHECK(Slot<uintptr_t (*)(void*)>(raw, kGetHostValue)(raw) == 0x1234567890);
    Slot<void (*)(void*)>(raw, kReset)(raw);
    CHECK(Slot<uintptr_t (*)(void*)>(raw, kGetHostValue)(raw) == 0x1234567890);  // Reset keeps the binding
    CHECK(Slot<uintptr_t (*)(void*, uintptr_t, uintptr_t, uintptr_t)>(raw, kQueryHost)(raw, 1, 2, 3) == HostChain::kValue);
    CHECK(chain.Calls(1, 1, 1));
    CHECK(!Slot<bool (*)(void*)>(raw, kQueryExtraOption)(raw));
    CHECK(Slot<bool (*)(void*)>(raw, kLock)(raw));
    CHECK(!LocksOnAnotherThread(raw));  // waits out the handler's 2 s
    CHECK(Slot<bool (*)(void*)>(raw, kUnlock)(raw));
    CHECK(LocksOnAnotherThread(raw));

    HANDLE declaredMutex = nullptr;
    {
        HandlerOwner declared(plugin.CreateMacro(L"Tarvel"));
        REQUIRE(declared);
        CHandler* handler = declared.Declared();
        HostChain other;
        CHECK(!handler->QueryOption());
        CHECK(handler->GetKind() == 1);
        handler->SetHost(0xABCDEF, other.AsHostObject());
        handler->Reset();
        CHECK(handler->GetHostValue() == 0xABCDEF);
        CHECK(handler->QueryHost(4, 5, 6) == HostChain::kValue && other.Calls(1, 1, 1));
        CHECK(!handler->QueryExtraOption());
        CHECK(handler->Lock());
        CHECK(!LocksOnAnotherThread(declared.get()));
        CHECK(handler->Unlock());
        CHECK(LocksOnAnotherThread(declared.get()));
        declaredMutex = MutexOf::Get(declared.get());
        CHECK(HandleOpen(declaredMutex));
    }  // Destroy through static_cast<IInterface*>
    CHECK(!HandleOpen(declaredMutex));

    // Destroy by hand: the virtual-base pointer at offset 8, its table's
    // second entry the distance from there to IMacro/IInterface.
    auto* bytes = reinterpret_cast<unsigned char*>(raw);
    const int32_t* vbtable = *reinterpret_cast<int32_t* const*>(bytes + 8);
    void* base = bytes + 8 + vbtable[1];
    REQUIRE(base == static_cast<IInterface*>(raw));
    Slot<void (*)(void*)>(base, 0)(base);
    // Both handlers gone: their mutexes closed, their memory freed.
    CHECK(!HandleOpen(rawMutex));
    CHECK(CrtHeapBusyBytes() == busy);
}

void QueryHostChain()
{
    Host host;
    REQUIRE(host.Handler);
    const uintptr_t first = 0x1111111122222222, second = 0x3333333344444444, third = 0xFFFFFFFF00000005;
    HostChain whole, noService, noProvider;
    noService.ServiceMissing = true;
    noProvider.ProviderMissing = true;

    host.Handler->SetHost(1, whole.AsHostObject());
    CHECK(host.Handler->QueryHost(first, second, third) == HostChain::kValue && whole.Calls(1, 1, 1));
    CHECK(whole.Arguments[0] == first && whole.Arguments[1] == second && whole.Arguments[2] == third);
    host.Handler->SetHost(1, noService.AsHostObject());
    CHECK(host.Handler->QueryHost(first, second, third) == 0 && noService.Calls(1, 0, 0));
    host.Handler->SetHost(1, noProvider.AsHostObject());
    CHECK(host.Handler->QueryHost(first, second, third) == 0 && noProvider.Calls(1, 1, 0));
    host.Handler->SetHost(1, nullptr);
    CHECK(host.Handler->QueryHost(first, second, third) == 0);
    CHECK(whole.Calls(1, 1, 1) && noService.Calls(1, 0, 0) && noProvider.Calls(1, 1, 0));
}

void LaunchWithoutComposition()
{
    Host host;
    REQUIRE(host.Ready());
    const LaunchTexts texts;
    for (int round = 0; round < 4; ++round) {
        // The first press through the raw table, the others as declared.
        IHandler* handler = host.Handler.get();
        host.Context.HostFolder = texts.Folder(round);
        host.Translator.Translation = texts.Translation(round).c_str();
        CHECK((round == 0 ? Slot<int32_t (*)(void*, MacroContext*)>(handler, kExecute)(handler, &host.Context)
                          : handler->Execute(&host.Context)) == 1);
        CHECK(g_launch.Calls == round + 1 && host.Translator.Calls == round + 1);
        CHECK_TEXT(g_launch.File, (texts.Folder(round) + L"Pluggins\\ZeltoAppSwitcher.exe").c_str());
        CHECK_TEXT(g_launch.Parameters, (L"\"" + texts.Translation(round) + L"\"").c_str());
        CHECK_TEXT(host.Context.HostFolder.c_str(), texts.Folder(round).c_str());  // only read
    }
    CHECK(host.Translator.BadCalls == 0 && !g_launch.BadSize);
    host.Application.Translator = nullptr;
    CHECK(host.Handler->Execute(&host.Context) == 1);
    CHECK_TEXT(g_launch.Parameters, L"\"\"");
}

void LaunchKeepsHeapSteady()
{
    Host host;
    REQUIRE(host.Ready());
    const LaunchTexts texts;
    auto press = [&](int round) {
        host.Context.HostFolder = texts.Folder(round);
        host.Translator.Translation = texts.Translation(round).c_str();
        return host.Handler->Execute(&host.Context) == 1;
    };
    for (int round = 0; round < 4; ++round)
        press(round);  // whatever is made once is made now
    REQUIRE(CrtHeapValid());
    const size_t before = CrtHeapBusyBytes();
    int failed = 0;
    for (int round = 0; round < 10000; ++round)
        failed += !press(round);
    const size_t after = CrtHeapBusyBytes();
    CHECK(failed == 0 && g_launch.Calls == 10004 && host.Translator.BadCalls == 0);
    CHECK(CrtHeapValid());
    // A leaked key or translation, even one byte a press, shows as 10,000.
    if (after > before + 1024)
        printf("    C runtime heap: %zu bytes in use before, %zu after\n", before, after);
    CHECK(after <= before + 1024);
}

void PluginOutOfMemory()
{
    Host host;
    REQUIRE(host.Ready());
    host.Context.HostFolder = L"C:\\a\\";
    {
        ImportPatch failing(host.Plugin.Module(), "ucrtbase.dll", "malloc", reinterpret_cast<void*>(&FailingMalloc));
        REQUIRE(failing.Applied());
        HRESULT caught = S_OK;
        try {
            host.Handler->Execute(&host.Context);
        } catch (const ATL::CAtlException& error) {
            caught = error;
        }
        CHECK(caught == E_OUTOFMEMORY && g_launch.Calls == 0);
    }
    CHECK(host.Handler->Execute(&host.Context) == 1 && g_launch.Calls == 1);  // and it goes on
    CHECK(CrtHeapValid());
}

void FlipAdjustsDevice()
{
    REQUIRE(CompositionOn() && !WindowsKeyDown());
    Host host;
    REQUIRE(host.Handler);
    // Otherwise this case would not show that the cast adjusts.
    REQUIRE(static_cast<void*>(static_cast<IPointingDevice*>(&host.Mouse)) != static_cast<void*>(host.Context.Device));
    int thrown = 0;
    CHECK(host.Press(&thrown) == 1);
    CHECK(host.Mouse.Logged(0, 1) && host.Mouse.Setting == 1 && WindowsKeyBecomes(false));
    CHECK(host.Press(&thrown) == 0);
    CHECK(host.Mouse.Logged(0, 1, 7) && host.Mouse.Setting == 7 && WindowsKeyBecomes(false));
    CHECK(thrown == 0 && host.Mouse.Misrouted == 0 && host.Application.WrongIds == 0);
}

void FlipHostException()
{
    REQUIRE(CompositionOn() && !WindowsKeyDown());
    Host host;
    REQUIRE(host.Handler);
    // Lowering throws: the host's catch gets it by type, no key went down.
    host.Mouse.ThrowOn = 1;
    int thrown = 0;
    CHECK(host.Press(&thrown) == -1 && thrown == 1);
    CHECK(!WindowsKeyDown() && host.Mouse.Setting == 7);

    // Restoring throws: the exception arrives with the flip over, no key down.
    host.Mouse.ThrowOn = 7;
    host.Mouse.LogSize = 0;
    CHECK(host.Press(&thrown) == 1);  // so the failed start left no flip behind
    CHECK(host.Mouse.Logged(0, 1) && WindowsKeyBecomes(false));
    CHECK(host.Press(&thrown) == -1 && thrown == 7);
    CHECK(WindowsKeyBecomes(false));

    // And the flip is over: the next press starts one, the one after ends it.
    // The 7 that could not go back stays the value to restore: not read again.
    host.Mouse.ThrowOn = 0;
    host.Mouse.Setting = 7;
    host.Mouse.LogSize = 0;
    CHECK(host.Press(&thrown) == 1 && host.Press(&thrown) == 0);
    CHECK(host.Mouse.Logged(1, 7) && WindowsKeyBecomes(false));
}
