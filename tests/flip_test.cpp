// The window flip end to end (see flip_fixture.h for the set-up).
#include "flip_fixture.h"

#include <atomic>
#include <thread>

#include "support/import_patch.h"

namespace {

HANDLE WINAPI RefusedOpenProcess(DWORD, BOOL, DWORD)
{
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
}

// A device that can be lowered but throws when it is put back.  Its device
// interface is not at the start of the object, so the plug-in's cast must
// move the pointer.
class ThrowingDevice : public FakePointingDevice {
public:
    explicit ThrowingDevice(int setting) : FakePointingDevice(setting, TbPointingOffset) {}
    int32_t SetSetting(int value) override
    {
        FakePointingDevice::SetSetting(value);
        return value != 1 ? kDeviceGone : 0;
    }
};

// What the plug-in asks of the C runtime for a thread, which then starts as asked.
using BeginThread = uintptr_t(__cdecl*)(void*, unsigned, unsigned(__stdcall*)(void*), void*, unsigned, unsigned*);
BeginThread g_beginThread = nullptr;
std::vector<std::pair<unsigned, unsigned>> g_threadRequests;  // stack size, flags

uintptr_t __cdecl RecordBeginThread(void* security, unsigned stackSize, unsigned(__stdcall* start)(void*),
                                    void* argument, unsigned flags, unsigned* threadId)
{
    g_threadRequests.emplace_back(stackSize, flags);
    return g_beginThread(security, stackSize, start, argument, flags, threadId);
}

// The thread-local handlers of the runtime's parameter checks the plug-in sets.
using SetParameterHandler = _invalid_parameter_handler(__cdecl*)(_invalid_parameter_handler);
SetParameterHandler g_setParameterHandler = nullptr;
std::vector<bool> g_parameterHandlersSet;  // whether each was a handler or none

_invalid_parameter_handler __cdecl RecordParameterHandler(_invalid_parameter_handler handler)
{
    g_parameterHandlersSet.push_back(handler != nullptr);
    return g_setParameterHandler(handler);
}

// The first Windows key-up and what follows it do not go in, and SendInput's
// count says so (as when the input queue is full or another thread blocks it).
using SendInputFunction = UINT(WINAPI*)(UINT, INPUT*, int);
SendInputFunction g_sendInput = nullptr;
std::atomic<int> g_windowsUps{0};

UINT WINAPI DropFromFirstWindowsUp(UINT count, INPUT* inputs, int size)
{
    for (UINT i = 0; i < count; ++i) {
        if (inputs[i].ki.wVk == VK_LWIN && (inputs[i].ki.dwFlags & KEYEVENTF_KEYUP) && g_windowsUps++ == 0)
            return g_sendInput(i, inputs, size);
    }
    return g_sendInput(count, inputs, size);
}

// The batch goes in up to its Tab down only.
UINT WINAPI CutAfterTheTabDown(UINT count, INPUT* inputs, int size)
{
    for (UINT i = 0; i < count; ++i) {
        if (inputs[i].ki.wVk == VK_TAB)
            return g_sendInput(i + 1, inputs, size);
    }
    return g_sendInput(count, inputs, size);
}

// Standard output as a console handle opened for writing only (a GUI host's
// freopen("CONOUT$", "w", stdout)), on which GetConsoleMode fails on Windows;
// Wine does not check the handle's access.
BOOL WINAPI WriteOnlyConsoleMode(HANDLE, DWORD*)
{
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
}
DWORD WINAPI CharacterDevice(HANDLE) { return FILE_TYPE_CHAR; }
std::wstring g_console;
BOOL WINAPI RecordConsoleText(HANDLE, const void* text, DWORD length, DWORD* written, void*)
{
    g_console.append(static_cast<const wchar_t*>(text), length);
    *written = length;
    return TRUE;
}

using Flip = FlipFixture;

// Windows 7's 3-D flip, opened to stay: Ctrl+Windows+Tab, every key up again.
const std::vector<Key> kFlipKeys = {{VK_LCONTROL, true}, {VK_LWIN, true},  {VK_TAB, true},
                                    {VK_TAB, false},     {VK_LWIN, false}, {VK_LCONTROL, false}};

TEST_F(Flip, FirstPress_LowersTheSettingAndSendsCtrlWindowsTabWithEveryKeyUp)
{
    EXPECT_EQ(Press(), 1);

    ASSERT_TRUE(keys.WaitFor(VK_LCONTROL, false, 1, 5s));
    EXPECT_EQ(InjectedKeys(), kFlipKeys);
    EXPECT_EQ(device.GetCount(), 1);
    EXPECT_EQ(device.SetCalls(), std::vector<int>{1});
    // The registration's immediate call is swallowed: no line.
    EXPECT_TRUE(output->Lines().empty());
    // Composition was found on (the dwmapi.dll beside us would say off).
    EXPECT_FALSE(host.Launched(host.ProgramFolder()));
}

TEST_F(Flip, WhatWineDoesNotEnforce_TheMonitorsDefaultStack_TheLineWithAnsweredParameterChecks)
{
    // Wine gives every thread at least 1 MiB, whatever is asked, and never
    // ends a process for a bad descriptor, so what the plug-in asks is what
    // can be seen: 0 and no flags, the host executable's own reservation;
    // and a handler of its own for the line's write, then the host's again.
    ImportPatch recorder(plugin.Module(), "ucrtbase.dll", "_beginthreadex",
                         reinterpret_cast<void*>(&RecordBeginThread));
    ImportPatch handlers(plugin.Module(), "ucrtbase.dll", "_set_thread_local_invalid_parameter_handler",
                         reinterpret_cast<void*>(&RecordParameterHandler));
    ASSERT_TRUE(recorder.Applied() && handlers.Applied());
    g_beginThread = recorder.Original<BeginThread>();
    g_setParameterHandler = handlers.Original<SetParameterHandler>();

    ASSERT_EQ(Press(), 1);  // the first flip starts the monitor
    ASSERT_EQ(Press(), 0);  // and a line ends it

    EXPECT_EQ(g_threadRequests, (std::vector<std::pair<unsigned, unsigned>>{{0u, 0u}}));
    EXPECT_EQ(g_parameterHandlersSet, (std::vector<bool>{true, false}));
}

TEST_F(Flip, AnotherApplication_RestoresTheSetting_AndSendsNoKey)
{
    StartBehind(L"wordpad.exe");
    ASSERT_EQ(Press(), 1);

    SwitchAndWaitForLine(L"notepad.exe", LineFor("notepad.exe"));
    EXPECT_EQ(device.SetCalls(), (std::vector<int>{1, 5}));
    EXPECT_EQ(application.DeviceRequests(), std::vector<uint64_t>{kDeviceId});
    EXPECT_NE(device.LastSetThread(), GetCurrentThreadId()) << "not completed on the monitor's thread";
    EXPECT_EQ(InjectedKeys(), kFlipKeys);

    // The flip is over and its registration gone: the next press starts a new
    // flip whose first call is swallowed again, and the next switch ends it.
    ASSERT_EQ(Press(), 1);
    ASSERT_EQ(keys.Count(VK_LWIN, true), 2u);
    SwitchAndWaitForLine(L"wordpad.exe", LineFor("wordpad.exe"));
    EXPECT_EQ(device.SetCalls(), (std::vector<int>{1, 5, 1, 5}));
}

TEST_F(Flip, WindowManagerInAnyCase_KeepsTheFlipAndWritesItLowercased)
{
    StartBehind(L"DWM.EXE");
    ASSERT_EQ(Press(), 1);

    SwitchAndWaitForLine(L"DWM.EXE", LineFor("dwm.exe"));
    EXPECT_EQ(device.SetCalls(), std::vector<int>{1});  // a completion restores before its line

    SwitchAndWaitForLine(L"notepad.exe", LineFor("notepad.exe"));
    EXPECT_EQ(device.SetCalls(), (std::vector<int>{1, 5}));
    EXPECT_EQ(output->Lines(), (std::vector<std::string>{LineFor("dwm.exe"), LineFor("notepad.exe")}));
}

TEST_F(Flip, NamesLikeTheWindowManager_EndTheFlip)
{
    // Only "dwm.exe" itself is spared; the comparison covers the terminator.
    StartBehind(L"dwm.exe.exe");
    ASSERT_EQ(Press(), 1);
    SwitchAndWaitForLine(L"dwm.exe.exe", LineFor("dwm.exe.exe"));
    EXPECT_EQ(device.Setting(), 5);
}

TEST_F(Flip, SecondPress_EndsTheShownFlipWithAnEmptyName)
{
    ASSERT_EQ(Press(), 1);
    EXPECT_EQ(Press(), 0);

    EXPECT_EQ(WindowsUps(), 1u);  // the press's own: the end sends no key
    EXPECT_EQ(output->Lines(), std::vector<std::string>{kEmptyLine});
    EXPECT_EQ(device.SetCalls(), (std::vector<int>{1, 5}));
    EXPECT_EQ(device.LastSetThread(), GetCurrentThreadId());

    EXPECT_EQ(Press(), 1);
    EXPECT_EQ(keys.Count(VK_LWIN, true), 2u);
    EXPECT_EQ(Press(), 0);
    EXPECT_EQ(WindowsUps(), 2u);
}

TEST_F(Flip, NothingNameableInFront_TheFlipShowsAtOnceAndTheNextReportEndsIt)
{
    // One whole flip first, so that the monitor is up before the foreground
    // process is made unreadable.
    ASSERT_EQ(Press(), 1);
    ASSERT_EQ(Press(), 0);
    {
        // The monitor cannot name the foreground application, so the
        // registration makes no immediate call to swallow.
        ImportPatch refuse(plugin.Module(), "KERNEL32.dll", "OpenProcess",
                           reinterpret_cast<void*>(&RefusedOpenProcess));
        ASSERT_TRUE(refuse.Applied());
        ASSERT_EQ(Press(), 1);
    }
    EXPECT_EQ(device.Setting(), 1);

    SwitchAndWaitForLine(L"notepad.exe", LineFor("notepad.exe"));
    EXPECT_EQ(output->Lines(), (std::vector<std::string>{kEmptyLine, LineFor("notepad.exe")}));
    EXPECT_EQ(device.SetCalls(), (std::vector<int>{1, 5, 1, 5}));
}

TEST_F(Flip, CompositionOffDuringAFlip_LaunchesAndLeavesTheFlipAlone)
{
    ASSERT_EQ(Press(), 1);

    SetEnvironmentVariableW(L"TARVEL_TEST_COMPOSITION", L"off");
    EXPECT_EQ(Press(), 1);
    EXPECT_EQ(device.SetCalls(), std::vector<int>{1});
    const auto launch = host.WaitForLaunch(host.ProgramFolder(), kReportLimit);
    ASSERT_TRUE(launch.has_value());
    EXPECT_EQ(launch->arguments, L"\"Quick switch\"");
    SetEnvironmentVariableW(L"TARVEL_TEST_COMPOSITION", L"on");
}

TEST_F(Flip, SettingThatCouldNotComeBack_IsNeverLowered_TheFlipStillRuns)
{
    // A value that is not a setting would not be put back: lowered, the
    // device would stay at 1 and the next flip would save that 1.
    for (int first : {0, 11}) {
        FakePointingDevice odd(first);
        application.AddDevice(kDeviceId, &odd);
        context.SetDevice(&odd);
        ASSERT_EQ(Press(), 1);
        ASSERT_EQ(Press(), 0);
        EXPECT_TRUE(odd.SetCalls().empty()) << "first value " << first;
        EXPECT_EQ(odd.Setting(), first);
    }
    // No application to find the device again through at the end.
    application.AddDevice(kDeviceId, &device);
    context.SetDevice(&device);
    context.SetApplication(nullptr);
    ASSERT_EQ(Press(), 1);
    EXPECT_EQ(Press(), 0);
    EXPECT_TRUE(device.SetCalls().empty());
    context.SetApplication(&application);
    // A device that is not a pointing device: nothing lowered, the flip still runs.
    FakePlainDevice plain;
    application.AddDevice(kDeviceId, &plain);
    context.SetDevice(&plain);
    ASSERT_EQ(Press(), 1);
    EXPECT_EQ(Press(), 0);
    EXPECT_EQ(keys.Count(VK_LWIN, true), 4u);
    EXPECT_EQ(WindowsUps(), 4u);
}

TEST_F(Flip, NoSwitchAfterThePress_TheFlipEndsByItself)
{
    // The keys were swallowed (a game, an elevated window): nothing showed.
    const auto pressed = std::chrono::steady_clock::now();
    ASSERT_EQ(Press(), 1);
    ASSERT_TRUE(output->WaitFor(LineFor("start.exe"), kReportLimit)) << "the flip never ended";
    // A slow Task View (a virtual machine, the first after logon) gets 3 s at least.
    EXPECT_GE(std::chrono::steady_clock::now() - pressed, 3s);
    EXPECT_EQ(WindowsUps(), 1u);
    EXPECT_EQ(device.SetCalls(), (std::vector<int>{1, 5}));
    EXPECT_EQ(Press(), 1) << "the next press starts a flip";
}

TEST_F(Flip, KeyUpsThatDidNotGoIn_AreSentAgainAtTheNextReport)
{
    ImportPatch drop(plugin.Module(), "USER32.dll", "SendInput", reinterpret_cast<void*>(&DropFromFirstWindowsUp));
    ASSERT_TRUE(drop.Applied()) << "keys not sent through SendInput, whose count tells what went in";
    g_sendInput = drop.Original<SendInputFunction>();
    ASSERT_EQ(Press(), 1);
    EXPECT_TRUE(Held());

    SwitchAndWaitForLine(L"notepad.exe", LineFor("notepad.exe"));
    EXPECT_EQ(g_windowsUps, 2);
    EXPECT_FALSE(Held()) << "the key-up was not sent again";
    EXPECT_EQ(keys.Count(VK_LCONTROL, false), 1u);
    EXPECT_EQ(device.Setting(), 5);
}

TEST_F(Flip, BatchCutAfterTheTabDown_ThePressThatEndsTheFlipSendsTheOwedKeyUps)
{
    {
        ImportPatch cut(plugin.Module(), "USER32.dll", "SendInput", reinterpret_cast<void*>(&CutAfterTheTabDown));
        ASSERT_TRUE(cut.Applied());
        g_sendInput = cut.Original<SendInputFunction>();
        ASSERT_EQ(Press(), 1);
    }
    ASSERT_EQ(Press(), 0);
    // Well before the flip's 4 s bound, whose report would send them too.
    EXPECT_TRUE(keys.WaitFor(VK_TAB, false, 1, 1500ms)) << "owed until some foreground change";
    EXPECT_TRUE(keys.WaitFor(VK_LWIN, false, 1, 1500ms));
    EXPECT_EQ(keys.Count(VK_LCONTROL, false), 1u);
}

TEST_F(Flip, SettingThatCouldNotComeBack_StaysTheOneToRestore)
{
    application.AddDevice(kDeviceId, nullptr);  // re-enumerated at the completion
    ASSERT_EQ(Press(), 1);
    ASSERT_EQ(Press(), 0);
    EXPECT_EQ(device.Setting(), 1);

    application.AddDevice(kDeviceId, &device);
    ASSERT_EQ(Press(), 1);
    ASSERT_EQ(Press(), 0);
    EXPECT_EQ(device.Setting(), 5) << "the lowered 1 was taken for the user's setting";
}

TEST_F(Flip, Windows7Flip3DAndBackToTheStartWindowWithinOneDelay_EndsTheFlip)
{
    // Escape in Flip3D, or a click on the window the flip started from.
    ForegroundWindowProcess& flip3d = desktop.StartSwitcher(L"dwm.exe", L"Flip3D");
    ForegroundWindowProcess& start = desktop.Window(L"start.exe");
    ASSERT_TRUE(start.BringToFront());
    ASSERT_EQ(Press(), 1);

    flip3d.RequestSwitcher();
    ASSERT_TRUE(flip3d.WaitRaised());
    ASSERT_TRUE(start.BringToFront());
    ASSERT_TRUE(output->WaitFor(LineFor("start.exe"), kReportLimit)) << "the quick return was not reported";
    EXPECT_EQ(WindowsUps(), 1u);
    EXPECT_EQ(device.Setting(), 5);
}

TEST_F(Flip, WriteOnlyConsole_TheLineGoesThroughWriteConsoleW)
{
    ImportPatch mode(plugin.Module(), "KERNEL32.dll", "GetConsoleMode", reinterpret_cast<void*>(&WriteOnlyConsoleMode));
    ImportPatch type(plugin.Module(), "KERNEL32.dll", "GetFileType", reinterpret_cast<void*>(&CharacterDevice));
    ImportPatch write(plugin.Module(), "KERNEL32.dll", "WriteConsoleW", reinterpret_cast<void*>(&RecordConsoleText));
    ASSERT_TRUE(write.Applied());
    ASSERT_EQ(Press(), 1);
    ASSERT_EQ(Press(), 0);
    EXPECT_EQ(g_console, L"Foreground changed ()\n") << "the line went out as bytes";
}

TEST_F(Flip, PressWhileAnotherPressLowersTheSetting_StartsNothing_TheUsersSettingComesBack)
{
    // Its first lowering blocks until released, as a device that waits on
    // the host (or pumps its messages, and so re-enters Execute) can.
    class BlockingDevice : public FakePointingDevice {
    public:
        BlockingDevice() : FakePointingDevice(5) {}
        int32_t SetSetting(int value) override
        {
            const int32_t result = FakePointingDevice::SetSetting(value);
            if (value == 1 && !m_blocked.exchange(true)) {
                SetEvent(entered.get());
                WaitForSingleObject(release.get(), 30000);
            }
            return result;
        }
        UniqueHandle entered{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
        UniqueHandle release{CreateEventW(nullptr, TRUE, FALSE, nullptr)};

    private:
        std::atomic<bool> m_blocked{false};
    } blocking;
    application.AddDevice(kDeviceId, &blocking);
    context.SetDevice(&blocking);

    std::thread first([&] { EXPECT_EQ(Press(), 1); });
    ASSERT_EQ(WaitForSingleObject(blocking.entered.get(), 10000), WAIT_OBJECT_0);
    EXPECT_EQ(Press(), 0);
    SetEvent(blocking.release.get());
    first.join();
    ASSERT_TRUE(keys.WaitFor(VK_TAB, false, 1, 5s));

    SwitchAndWaitForLine(L"notepad.exe", LineFor("notepad.exe"));
    EXPECT_EQ(blocking.Setting(), 5);
    EXPECT_EQ(keys.Count(VK_LWIN, true), 1u);
    EXPECT_FALSE(Held());
}

TEST_F(Flip, Restore_GoesToTheDeviceTheHostNamesNow_OrNowhere)
{
    // The setting is put back on whatever GetDevice answers for the stored
    // identifier at completion, never through a pointer kept from Execute.
    FakePointingDevice answered(7);
    application.AddDevice(kDeviceId, &answered);
    ASSERT_EQ(Press(), 1);
    ASSERT_EQ(Press(), 0);
    EXPECT_EQ(device.SetCalls(), std::vector<int>{1});
    EXPECT_EQ(answered.SetCalls(), std::vector<int>{5});

    // No device for the identifier any more: nothing restored, the key released.
    application.AddDevice(kDeviceId, nullptr);
    ASSERT_EQ(Press(), 1);
    EXPECT_EQ(Press(), 0);
    EXPECT_EQ(device.SetCalls(), (std::vector<int>{1, 1}));
    EXPECT_EQ(WindowsUps(), 2u);
}

TEST_F(Flip, DestroyDuringAFlip_EndsItAndStopsReports_TheNextFlipReportsAgain)
{
    // A handler destroyed while no monitor exists frees itself only.
    StartBehind(L"wordpad.exe");
    HandlerOwner(plugin.CreateTarvel());
    ASSERT_EQ(Press(), 1);

    // Another handler's Destroy ends the shown flip as a second press would,
    // then takes the monitor, and so the flip's registration, down.
    bridge::Destroy(plugin.CreateTarvel());
    EXPECT_EQ(WindowsUps(), 1u);
    EXPECT_EQ(output->Lines(), std::vector<std::string>{kEmptyLine});
    EXPECT_EQ(device.SetCalls(), (std::vector<int>{1, 5}));
    ASSERT_TRUE(desktop.SwitchTo(L"notepad.exe"));
    Sleep(1500);  // twice the monitor's delay: a report would have come
    EXPECT_EQ(output->Lines(), std::vector<std::string>{kEmptyLine});

    // The next flip brings a new monitor that reports again.
    ASSERT_EQ(Press(), 1);
    SwitchAndWaitForLine(L"wordpad.exe", LineFor("wordpad.exe"));
    EXPECT_TRUE(WaitWindowsUps(2));
}

TEST_F(Flip, DeviceThatThrowsOnRestore_TheFlipStillEndsAndTheKeyGoesUp)
{
    ThrowingDevice throwing(5);
    application.AddDevice(kDeviceId, &throwing);
    context.SetDevice(&throwing);

    // Ended on the monitor's thread, which drops the exception.
    ASSERT_EQ(Press(), 1);
    SwitchAndWaitForLine(L"notepad.exe", LineFor("notepad.exe"));
    ASSERT_TRUE(WaitWindowsUps(1));
    Sleep(500);

    // Ended by a second press: the host gets its own exception back, through
    // the plug-in's frames, after the release.
    for (size_t ups : {2u, 3u}) {
        ASSERT_EQ(Press(), 1) << "the flip is stuck";
        TbThrow thrown{};
        Press(thrown);
        EXPECT_EQ(thrown.kind, TbThrewHostError);
        EXPECT_EQ(thrown.code, kDeviceGone);
        EXPECT_EQ(WindowsUps(), ups);
        EXPECT_FALSE(Held());
    }
    EXPECT_EQ(throwing.SetCalls(), (std::vector<int>{1, 5, 1, 5, 1, 5}));

    // Ended by Destroy, which hosts call from destructors: nothing leaves it.
    ASSERT_EQ(Press(), 1);
    TbThrow thrown{};
    TbDestroy(plugin.CreateTarvel(), &thrown);
    EXPECT_EQ(thrown.kind, TbNoThrow);
    EXPECT_EQ(WindowsUps(), 4u);
    EXPECT_EQ(throwing.Setting(), 5);
}

}  // namespace
