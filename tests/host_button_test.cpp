// tarvel-host.exe in its default mode, driven as a user drives it: mouse
// buttons injected with SendInput, the end asked for as Ctrl+C would.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <string>
#include <thread>

#include "host_process.h"
#include "support/app_switcher_folder.h"

namespace {

constexpr DWORD kGenerous = 5000;

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// Counts, on a hook thread of its own, the side-button presses that reach the
// low-level mouse hooks installed before it (tarvel-host's comes later, so it
// is asked first and a press it swallows never gets here).
class SideButtonObserver {
public:
    SideButtonObserver()
    {
        s_instance = this;
        HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        m_thread = std::thread([this, ready] { Run(ready); });
        WaitForSingleObject(ready, INFINITE);
        CloseHandle(ready);
    }
    ~SideButtonObserver()
    {
        PostThreadMessageW(m_threadId, WM_QUIT, 0, 0);
        m_thread.join();
        s_instance = nullptr;
    }

    std::atomic<int> xbutton1{0};
    std::atomic<int> xbutton2{0};
    bool Installed() const { return m_installed; }

private:
    void Run(HANDLE ready) noexcept
    {
        MSG message;
        PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);
        m_threadId = GetCurrentThreadId();
        HHOOK hook = SetWindowsHookExW(WH_MOUSE_LL, &Observe, GetModuleHandleW(nullptr), 0);
        m_installed = hook != nullptr;
        SetEvent(ready);
        while (GetMessageW(&message, nullptr, 0, 0) > 0)
            DispatchMessageW(&message);
        if (hook != nullptr)
            UnhookWindowsHookEx(hook);
    }

    static LRESULT CALLBACK Observe(int code, WPARAM message, LPARAM data) noexcept
    {
        if (code == HC_ACTION && message == WM_XBUTTONDOWN && s_instance != nullptr) {
            const WORD button = HIWORD(reinterpret_cast<const MSLLHOOKSTRUCT*>(data)->mouseData);
            ++(button == XBUTTON1 ? s_instance->xbutton1 : s_instance->xbutton2);
        }
        return CallNextHookEx(nullptr, code, message, data);
    }

    static inline SideButtonObserver* s_instance = nullptr;
    bool m_installed = false;
    DWORD m_threadId = 0;
    std::thread m_thread;
};

void Click(DWORD downFlag, DWORD upFlag, DWORD data)
{
    INPUT inputs[2]{};
    inputs[0].type = inputs[1].type = INPUT_MOUSE;
    inputs[0].mi.dwFlags = downFlag;
    inputs[1].mi.dwFlags = upFlag;
    inputs[0].mi.mouseData = inputs[1].mi.mouseData = data;
    SendInput(2, inputs, sizeof(INPUT));
}

void ClickSideButton(WORD button) { Click(MOUSEEVENTF_XDOWN, MOUSEEVENTF_XUP, button); }

// What a user's Ctrl+C leads to inside the host: its main loop ends.
void AskToEnd(const HostProcess& host) { PostThreadMessageW(host.MainThreadId(), WM_QUIT, 0, 0); }

bool WaitUntil(const std::atomic<int>& counter, int value)
{
    for (int i = 0; i < 200 && counter.load() < value; ++i)
        Sleep(50);
    return counter.load() >= value;
}

TEST(HostButtonMode, ChosenButton_RunsTheMacroAndIsSwallowed_OthersPassThrough)
{
    SideButtonObserver observer;
    ASSERT_TRUE(observer.Installed());
    HostProcess host;
    ASSERT_TRUE(host.Start(L""));
    ASSERT_TRUE(host.WaitForOutput("runs on XBUTTON1", kGenerous)) << host.Output() << host.Errors();

    // Wine's desktop has no composition, so the press starts the host's app
    // switcher (the recording stand-in the build puts in Pluggins\) with the
    // prompt from the host's string table.
    const AppSwitcherFolder records;
    const std::wstring switcherFolder = L"Pluggins\\";
    DeleteFileW((switcherFolder + L"received.txt").c_str());
    ClickSideButton(XBUTTON1);
    EXPECT_TRUE(host.WaitForOutput("XBUTTON1 pressed: Execute returned 1", kGenerous)) << host.Output();
    const auto launch = records.WaitForLaunch(switcherFolder, std::chrono::milliseconds(kGenerous));
    ASSERT_TRUE(launch.has_value());
    EXPECT_EQ(launch->arguments, L"\"Choose the application to switch to\"");
    DeleteFileW((switcherFolder + L"received.txt").c_str());
    ClickSideButton(XBUTTON2);
    EXPECT_TRUE(WaitUntil(observer.xbutton2, 1)) << "the observer saw nothing at all";
    EXPECT_EQ(observer.xbutton1.load(), 0) << "the chosen button was not swallowed";

    AskToEnd(host);
    EXPECT_EQ(host.WaitForExit(kGenerous), 0) << host.Output() << host.Errors();
    EXPECT_TRUE(Contains(host.Output(), "ended; handler destroyed, plug-in unloaded")) << host.Output();
    EXPECT_EQ(host.Errors(), "");
}

TEST(HostButtonMode, MiddleButtonChosen_SideButtonsPassThroughUntouched)
{
    SideButtonObserver observer;
    ASSERT_TRUE(observer.Installed());
    HostProcess host;
    ASSERT_TRUE(host.Start(L"--button middle"));
    ASSERT_TRUE(host.WaitForOutput("runs on middle button", kGenerous)) << host.Output() << host.Errors();

    ClickSideButton(XBUTTON1);
    EXPECT_TRUE(WaitUntil(observer.xbutton1, 1)) << "an unchosen button was swallowed";
    Click(MOUSEEVENTF_MIDDLEDOWN, MOUSEEVENTF_MIDDLEUP, 0);
    EXPECT_TRUE(host.WaitForOutput("middle button pressed: Execute returned", kGenerous)) << host.Output();
    EXPECT_FALSE(Contains(host.Output(), "XBUTTON1 pressed")) << host.Output();

    AskToEnd(host);
    EXPECT_EQ(host.WaitForExit(kGenerous), 0) << host.Output() << host.Errors();
}

TEST(HostButtonMode, CtrlC_EndsCleanly)
{
    // Ctrl+C as a user types it into the host's own console window.  Under
    // Wine only a console of the host's own reaches it (one inherited from
    // the test gets no event), so join that console to raise the event, and
    // ignore Ctrl+C in this process meanwhile.
    HostProcess host;
    ASSERT_TRUE(host.Start(L"", CREATE_NEW_CONSOLE));
    ASSERT_TRUE(host.WaitForOutput("runs on XBUTTON1", kGenerous)) << host.Output() << host.Errors();
    FreeConsole();
    ASSERT_TRUE(AttachConsole(host.ProcessId())) << GetLastError();
    SetConsoleCtrlHandler(nullptr, TRUE);
    EXPECT_TRUE(GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0)) << GetLastError();

    EXPECT_EQ(host.WaitForExit(kGenerous), 0) << host.Output() << host.Errors();
    EXPECT_TRUE(Contains(host.Output(), "ended; handler destroyed, plug-in unloaded")) << host.Output();
    FreeConsole();
    SetConsoleCtrlHandler(nullptr, FALSE);
}

}  // namespace
