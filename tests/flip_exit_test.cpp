// Every way out of a flip leaves the Windows key up and the host alive: a
// host that destroys its handler, unloads the library or exits during a flip
// (a helper host process, watched from this one by a low-level keyboard
// hook), and failures at a flip's start or with nothing nameable in front
// (this process as the host, through the bridge).
#include <gtest/gtest.h>

#include <windows.h>

#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "support/fake_host.h"
#include "support/foreground_switcher.h"
#include "support/import_patch.h"
#include "support/key_recorder.h"
#include "support/plugin_loader.h"
#include "support/stdout_capture.h"

namespace {

using namespace std::chrono_literals;

constexpr auto kLimit = 20s;
constexpr wchar_t kCyrillicExe[] = L"\u0431\u043b\u043e\u043a\u043d\u043e\u0442.exe";

// A pipe whose writing end the child inherits; `parentEnd` keeps the other.
UniqueHandle MakePipe(UniqueHandle& parentEnd)
{
    SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
    HANDLE read = nullptr;
    HANDLE write = nullptr;
    if (!CreatePipe(&read, &write, &inherit, 0))
        return {};
    parentEnd.reset(read);
    SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);
    return UniqueHandle(write);
}

// A pipe filled until a write would block, whose reading end `parentEnd`
// keeps and never reads.
UniqueHandle MakeFullPipe(UniqueHandle& parentEnd)
{
    UniqueHandle write = MakePipe(parentEnd);
    DWORD mode = PIPE_NOWAIT;
    if (!write || !SetNamedPipeHandleState(write.get(), &mode, nullptr, nullptr))
        return {};
    const char chunk[512] = {};
    DWORD written = 0;
    while (WriteFile(write.get(), chunk, sizeof(chunk), &written, nullptr) && written == sizeof(chunk)) {
    }
    mode = PIPE_WAIT;
    return SetNamedPipeHandleState(write.get(), &mode, nullptr, nullptr) ? std::move(write) : UniqueHandle();
}

UniqueHandle CreateInheritableFile(const std::wstring& path)
{
    SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                    CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    return UniqueHandle(file == INVALID_HANDLE_VALUE ? nullptr : file);
}

// flip_host.exe as a child whose standard error is read through a pipe.  Its
// standard output, the plug-in's, goes to the same pipe; or to `file`, which
// is removed once the child has ended; or to a full pipe that nobody reads,
// as a host whose output blocks.
class FlipHost {
public:
    enum Output { ToPipe, ToFile, ToFullPipe };

    explicit FlipHost(const std::wstring& scenario, Output output = ToPipe, const std::wstring& file = {})
        : m_file(output == ToFile ? file : std::wstring())
    {
        const UniqueHandle errors = MakePipe(m_output);
        const UniqueHandle out = output == ToFile       ? CreateInheritableFile(m_file)
                                 : output == ToFullPipe ? MakeFullPipe(m_unread)
                                                        : UniqueHandle();
        if (!errors || (output != ToPipe && !out))
            return;
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = out ? out.get() : errors.get();
        startup.hStdError = errors.get();
        std::wstring command = L"flip_host.exe " + scenario;
        PROCESS_INFORMATION process{};
        if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                            &process))
            return;
        CloseHandle(process.hThread);
        m_process.reset(process.hProcess);
        m_processId = process.dwProcessId;
        if (m_output)
            m_reader = std::thread([this] { Read(); });
    }
    ~FlipHost()
    {
        m_unread.reset();  // a write that blocks on it fails now
        if (m_process && WaitForSingleObject(m_process.get(), 0) == WAIT_TIMEOUT) {
            TerminateProcess(m_process.get(), 99);
            WaitForSingleObject(m_process.get(), 30000);
        }
        if (m_reader.joinable())
            m_reader.join();
        if (!m_file.empty())
            DeleteFileW(m_file.c_str());
    }

    bool Started() const { return static_cast<bool>(m_process); }

    bool WaitFor(const std::string& text)
    {
        return WaitUntil([&] { return Output().find(text) != std::string::npos; }, kLimit);
    }

    void TellToEnd()
    {
        const std::wstring name = L"Local\\tarvel-flip-host-" + std::to_wstring(m_processId);
        UniqueHandle end(CreateEventW(nullptr, TRUE, FALSE, name.c_str()));
        SetEvent(end.get());
    }

    // The exit code, or -1 when it still runs after the limit.
    int ExitCode()
    {
        if (WaitForSingleObject(m_process.get(), 30000) != WAIT_OBJECT_0)
            return -1;
        DWORD code = 0;
        GetExitCodeProcess(m_process.get(), &code);
        return static_cast<int>(code);
    }

    // What came through the pipe, then what is in the file.
    std::string Output()
    {
        std::string text;
        {
            std::lock_guard guard(m_lock);
            text = m_text;
        }
        if (!m_file.empty()) {
            std::ifstream file(m_file.c_str(), std::ios::binary);
            text.append(std::istreambuf_iterator<char>(file), {});
        }
        return text;
    }

private:
    void Read()
    {
        char buffer[512];
        DWORD read = 0;
        while (ReadFile(m_output.get(), buffer, sizeof(buffer), &read, nullptr) && read > 0) {
            std::lock_guard guard(m_lock);
            m_text.append(buffer, read);
        }
    }

    std::wstring m_file;
    UniqueHandle m_output;
    UniqueHandle m_unread;  // the full output's reading end, never read
    UniqueHandle m_process;
    DWORD m_processId = 0;
    std::thread m_reader;
    std::mutex m_lock;  // guards m_text, filled by the reader
    std::string m_text;
};

class FlipExit : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Read by the stand-in dwmapi.dll in the system folder, here and in the child.
        SetEnvironmentVariableW(L"TARVEL_TEST_COMPOSITION", L"on");
        ASSERT_TRUE(keys.Installed());
        // Started before the flip, as a flip with no switch for 1.5 s ends by
        // itself; the start window is something to name at the press.
        StartBehind(L"pick.exe");
    }

    // A window for the flip to switch to, started now, the start window in front again.
    void StartBehind(const wchar_t* program)
    {
        ASSERT_TRUE(desktop.SwitchTo(program));
        ASSERT_TRUE(desktop.SwitchTo(L"start.exe"));
    }

    bool WindowsKeyWentUp() const { return keys.WaitFor(VK_LWIN, false, 1, kLimit); }

    ForegroundSwitcher desktop;
    KeyRecorder keys;
};

TEST_F(FlipExit, HostDestroysItsOnlyHandlerDuringAFlip_TheKeyGoesUpAndTheSettingIsBack)
{
    FlipHost host(L"destroy");
    ASSERT_TRUE(host.Started());
    EXPECT_TRUE(host.WaitFor("destroyed, setting 5")) << host.Output();
    EXPECT_TRUE(WindowsKeyWentUp());
    EXPECT_EQ(host.ExitCode(), 0);
}

TEST_F(FlipExit, HostReturnsFromMainDuringAFlip_TheKeyGoesUp)
{
    FlipHost host(L"exit");
    ASSERT_TRUE(host.Started());
    EXPECT_EQ(host.ExitCode(), 0) << host.Output();
    EXPECT_TRUE(WindowsKeyWentUp());
}

TEST_F(FlipExit, LibraryFreedDuringAFlipWithoutDestroy_ASwitchStillEndsIt_AndTheHostExitsCleanly)
{
    FlipHost host(L"free");
    ASSERT_TRUE(host.WaitFor("freed")) << host.Output();
    ASSERT_TRUE(desktop.SwitchTo(L"pick.exe"));
    EXPECT_TRUE(host.WaitFor("Foreground changed (pick.exe)")) << host.Output();
    EXPECT_TRUE(WindowsKeyWentUp());
    host.TellToEnd();
    EXPECT_EQ(host.ExitCode(), 0) << host.Output();
}

TEST_F(FlipExit, DestroyWhileTheMonitorThreadRestoresSlowly_ReturnsAfterThatCall_ThenTheLibraryLeaves)
{
    FlipHost host(L"slow");
    ASSERT_TRUE(host.WaitFor("flip started")) << host.Output();
    ASSERT_TRUE(desktop.SwitchTo(L"pick.exe"));
    EXPECT_TRUE(host.WaitFor("destroyed, the restore had returned: 1")) << host.Output();
    EXPECT_TRUE(host.WaitFor("unloaded: 1")) << host.Output();
    EXPECT_EQ(host.ExitCode(), 0) << host.Output();
    EXPECT_TRUE(WindowsKeyWentUp());
}

TEST_F(FlipExit, DestroyGaveUpOnAFlipsEndInsideTheHost_ThatEndCallsTheHostNoMore)
{
    // The device's look-up waits on a lock the host holds around Destroy.
    FlipHost host(L"locked");
    ASSERT_TRUE(host.WaitFor("flip started")) << host.Output();
    ASSERT_TRUE(desktop.SwitchTo(L"pick.exe"));
    EXPECT_TRUE(host.WaitFor("destroyed")) << "Destroy waits for ever: " << host.Output();
    EXPECT_TRUE(host.WaitFor("Foreground changed (pick.exe)")) << host.Output();
    EXPECT_EQ(host.Output().find("set 5"), std::string::npos) << "a device the host may have freed was set";
    host.TellToEnd();
    EXPECT_EQ(host.ExitCode(), 0) << host.Output();
}

TEST_F(FlipExit, OutputThatBlocks_TheSwitchStillRestoresTheSettingAndReleasesTheKey)
{
    FlipHost host(L"wait", FlipHost::ToFullPipe);
    ASSERT_TRUE(host.WaitFor("flip started")) << host.Output();
    ASSERT_TRUE(desktop.SwitchTo(L"pick.exe"));
    EXPECT_TRUE(host.WaitFor("set 5")) << host.Output();
    EXPECT_TRUE(WindowsKeyWentUp());
}

TEST_F(FlipExit, AfterAFlipDestroyAndFreeLibrary_TheLibraryIsGone)
{
    FlipHost host(L"unload");
    EXPECT_TRUE(host.WaitFor("loaded after FreeLibrary: 0")) << host.Output();
    EXPECT_EQ(host.ExitCode(), 0);
}

TEST_F(FlipExit, ApplicationNamedInCyrillic_TheWholeLineReachesTheHostsOutput)
{
    StartBehind(kCyrillicExe);
    FlipHost host(L"wait");
    ASSERT_TRUE(host.WaitFor("flip started")) << host.Output();
    ASSERT_TRUE(desktop.SwitchTo(L"\u0431\u043b\u043e\u043a\u043d\u043e\u0442.exe"));
    // UTF-8, as the line goes to a pipe.
    EXPECT_TRUE(host.WaitFor("Foreground changed (\xd0\xb1\xd0\xbb\xd0\xbe\xd0\xba\xd0\xbd\xd0\xbe\xd1\x82.exe)\r\n"))
        << host.Output();
    host.TellToEnd();
    EXPECT_EQ(host.ExitCode(), 0);
}

TEST_F(FlipExit, HostOutputInUtf16Mode_TheLineArrivesInUtf16)
{
    // A host on the shared C runtime that put its standard output (a file
    // here) in _O_U16TEXT: bytes written there would end it on Windows.
    StartBehind(kCyrillicExe);
    wchar_t temp[MAX_PATH + 1] = L"";
    ASSERT_GT(GetTempPathW(MAX_PATH, temp), 0u);
    FlipHost host(L"utf16", FlipHost::ToFile, std::wstring(temp) + L"tarvel-flip-host-" + std::to_wstring(GetCurrentProcessId()) +
                                L".txt");
    ASSERT_TRUE(host.WaitFor("flip started")) << host.Output();
    ASSERT_TRUE(desktop.SwitchTo(L"\u0431\u043b\u043e\u043a\u043d\u043e\u0442.exe"));
    const std::wstring line = L"Foreground changed (\u0431\u043b\u043e\u043a\u043d\u043e\u0442.exe)\r\n";
    EXPECT_TRUE(host.WaitFor(std::string(reinterpret_cast<const char*>(line.data()), line.size() * sizeof(wchar_t))))
        << host.Output();
    EXPECT_TRUE(WindowsKeyWentUp());
    host.TellToEnd();
    EXPECT_EQ(host.ExitCode(), 0);
}

// This process as the host, with the suite's host objects.
class FlipStart : public FlipExit {
protected:
    // A device that can refuse to be lowered.
    class Device : public FakePointingDevice {
    public:
        Device() : FakePointingDevice(5) {}
        int32_t SetSetting(int value) override
        {
            if (value == 1 && throwOnLowering)
                return kDeviceGone;
            return FakePointingDevice::SetSetting(value);
        }
        bool throwOnLowering = false;
    };

    void SetUp() override
    {
        FlipExit::SetUp();
        ASSERT_TRUE(plugin.Loaded());
        handler = std::make_unique<HandlerOwner>(plugin.CreateTarvel());
        application.AddDevice(1, &device);
        context.SetDevice(&device);
        context.SetApplication(&application);
        context.SetDeviceId(1);
    }
    void TearDown() override
    {
        handler.reset();
        EXPECT_EQ(keys.Count(VK_LWIN, true), keys.Count(VK_LWIN, false)) << "the Windows key was left down";
    }

    int32_t Press(TbThrow& thrown) { return bridge::Execute(handler->get(), &context, thrown); }

    PluginLoader plugin;
    Device device;
    FakeApplication application;
    HostContext context;
    std::unique_ptr<HandlerOwner> handler;
};

// As SendInput answers when UIPI blocks it (an elevated window in front).
UINT WINAPI SendNothing(UINT, INPUT*, int)
{
    return 0;
}

HANDLE WINAPI OpenNoProcess(DWORD, BOOL, DWORD)
{
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
}

TEST_F(FlipStart, FailuresAtTheStart_LeaveNoFlipAndNoKeyDown_AndTheNextPressStartsOne)
{
    TbThrow thrown{};
    {
        ImportPatch refused(plugin.Module(), "USER32.dll", "SendInput", reinterpret_cast<void*>(&SendNothing));
        ASSERT_TRUE(refused.Applied());
        EXPECT_EQ(Press(thrown), 0) << "a press that inserted nothing";
    }
    EXPECT_EQ(device.Setting(), 5) << "the lowered setting is put back before Execute returns";

    device.throwOnLowering = true;
    thrown = {};
    Press(thrown);
    EXPECT_EQ(thrown.kind, TbThrewHostError);
    EXPECT_EQ(keys.Count(VK_LWIN, true), 0u);

    device.throwOnLowering = false;
    thrown = {};
    EXPECT_EQ(Press(thrown), 1) << "a new flip starts";
    EXPECT_EQ(device.Setting(), 1);
    EXPECT_EQ(Press(thrown), 0) << "and a second press ends it";
    EXPECT_EQ(device.Setting(), 5);
}

TEST_F(FlipStart, FlipShowingInAnotherProcessOfTheSession_APressHereReturnsZeroAndChangesNothing)
{
    TbThrow thrown{};
    {
        FlipHost other(L"wait");  // a host and tarvel-host, both on one button
        ASSERT_TRUE(other.WaitFor("flip started")) << other.Output();
        ASSERT_TRUE(keys.WaitFor(VK_TAB, false, 1, kLimit));
        const size_t keysBefore = keys.Events().size();
        EXPECT_EQ(Press(thrown), 0);
        EXPECT_EQ(keys.Events().size(), keysBefore);
        EXPECT_TRUE(device.SetCalls().empty()) << "the other process's 1 would be saved as the user's value";

        ASSERT_TRUE(desktop.SwitchTo(L"pick.exe"));
        EXPECT_TRUE(other.WaitFor("set 5")) << other.Output();
        other.TellToEnd();
        EXPECT_EQ(other.ExitCode(), 0) << other.Output();
    }
    EXPECT_EQ(Press(thrown), 1) << "the session's flip is free again";
    EXPECT_EQ(Press(thrown), 0);
    EXPECT_EQ(device.Setting(), 5);
}

TEST_F(FlipStart, PressWithNothingNameableInFront_TheUsersPickStillEndsTheFlip)
{
    StdoutCapture output;
    ASSERT_TRUE(output.Active());
    TbThrow thrown{};
    {
        // As a foreground process that we may not open answers (or none at all).
        ImportPatch refused(plugin.Module(), "kernel32.dll", "OpenProcess", reinterpret_cast<void*>(&OpenNoProcess));
        ASSERT_TRUE(refused.Applied());
        ASSERT_EQ(Press(thrown), 1);
    }
    ASSERT_TRUE(desktop.SwitchTo(L"pick.exe"));
    EXPECT_TRUE(output.WaitFor("Foreground changed (pick.exe)", kLimit));
    EXPECT_TRUE(WindowsKeyWentUp());
    EXPECT_EQ(device.Setting(), 5);
}

}  // namespace
