// tarvel-host in the background with a hold time: real side-button presses
// (xdotool, through the X server) over a window that records what reaches
// it, and the tap to the previous window.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "common/unique_handle.h"
#include "host_process.h"
#include "tray_mode.h"
#include "support/app_switcher_window.h"
#include "support/foreground_switcher.h"
#include "support/key_recorder.h"

namespace {

constexpr DWORD kGenerous = 10000;

// A frameless window over the middle of the screen, where Xvfb keeps the
// pointer, on a thread of its own: it counts the side-button messages that
// reach it.
class RecordingWindow {
public:
    RecordingWindow() : m_thread(CreateThread(nullptr, 0, &RecordingWindow::Run, this, 0, nullptr))
    {
        WaitUntil([this] { return m_window.load() != nullptr; }, std::chrono::milliseconds(kGenerous));
    }
    ~RecordingWindow()
    {
        PostMessageW(m_window, WM_CLOSE, 0, 0);
        WaitForSingleObject(m_thread, kGenerous);
        CloseHandle(m_thread);
    }

    std::atomic<int> firstDowns{0}, firstUps{0}, secondDowns{0}, wheels{0};
    HWND Window() const { return m_window; }

private:
    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept
    {
        auto* self = reinterpret_cast<RecordingWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        const bool first = GET_XBUTTON_WPARAM(wParam) == XBUTTON1;
        if (self != nullptr && message == WM_XBUTTONDOWN)
            ++(first ? self->firstDowns : self->secondDowns);
        if (self != nullptr && message == WM_XBUTTONUP && first)
            ++self->firstUps;
        if (self != nullptr && message == WM_MOUSEWHEEL)
            ++self->wheels;
        if (message == WM_DESTROY)
            PostQuitMessage(0);
        return DefWindowProcW(window, message, wParam, lParam);
    }

    static DWORD WINAPI Run(void* data)
    {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = Proc;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"TarvelTestRecorder";
        RegisterClassW(&windowClass);
        HWND window = CreateWindowExW(WS_EX_TOPMOST, windowClass.lpszClassName, L"recorder", WS_POPUP | WS_VISIBLE,
                                      440, 300, 400, 200, nullptr, nullptr, windowClass.hInstance, nullptr);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(data));
        static_cast<RecordingWindow*>(data)->m_window = window;
        MSG message;
        while (GetMessageW(&message, nullptr, 0, 0) > 0)
            DispatchMessageW(&message);
        return 0;
    }

    std::atomic<HWND> m_window{nullptr};
    HANDLE m_thread;
};

// The first side button's down through the X server, returned once the
// hooks have seen it (`seen`, installed after tarvel-host's hook, is asked
// before it), so that moves injected next come after it.
bool SideButtonDown(const ButtonObserver& seen)
{
    const int before = seen.xbutton1.load();
    return Xdotool(L"mousedown 8") && WaitForCount(seen.xbutton1, before + 1);
}

// Moves the pointer by (dx, dy) pixels as an absolute injected move, which
// the hooks see at once (xdotool's moves do not reach Wine under this Xvfb).
void MovePointerBy(int dx, int dy)
{
    POINT at{};
    GetCursorPos(&at);
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    input.mi.dx = (at.x + dx) * 65536 / GetSystemMetrics(SM_CXSCREEN);
    input.mi.dy = (at.y + dy) * 65536 / GetSystemMetrics(SM_CYSCREEN);
    SendInput(1, &input, sizeof(input));
}

TEST(HostPress, HoldTime_ShortClickReachesTheWindowUnderThePointer_LongPressThatWobblesFlipsAndReachesNothing)
{
    const TarvelSettingsForTest settings;
    settings.Set(L"HoldMs", 300);
    RecordingWindow recorder;
    ASSERT_NE(recorder.Window(), nullptr);
    HostProcess tray;
    ASSERT_TRUE(StartInBackground(tray)) << tray.Output() << tray.Errors();

    ASSERT_TRUE(Xdotool(L"click 8"));
    EXPECT_TRUE(WaitForCount(recorder.firstUps, 1)) << "the click's up did not reach the window";
    EXPECT_EQ(recorder.firstDowns.load(), 1) << "the click's down did not reach the window";
    EXPECT_EQ(Occurrences(tray.Output(), " pressed: "), 0) << "a short click flipped: " << tray.Output();

    // Held, the thumb moving the mouse 5 to 7 pixels: the flip starts while
    // the button is down (composition off: the host's app switcher), and
    // neither half reaches the window.
    const ButtonObserver seen;
    ASSERT_TRUE(SideButtonDown(seen));
    MovePointerBy(6, 0);
    MovePointerBy(-1, 1);
    EXPECT_TRUE(tray.WaitForOutput("xbutton1 pressed: ", kGenerous)) << "the wobble made a drag: " << tray.Output();
    ASSERT_TRUE(Xdotool(L"mouseup 8"));
    EXPECT_TRUE(CloseAppSwitcher(WaitForAppSwitcher(std::chrono::milliseconds(kGenerous)),
                                 std::chrono::milliseconds(kGenerous)));
    // The second side button, not chosen, comes after the up: once it has
    // arrived, so has the up.
    ASSERT_TRUE(Xdotool(L"click 9"));
    EXPECT_TRUE(WaitForCount(recorder.secondDowns, 1)) << "the second side button never arrived";
    EXPECT_EQ(recorder.firstDowns.load(), 1) << "the long press's down reached the window";
    EXPECT_EQ(recorder.firstUps.load(), 1) << "the long press's up reached the window";
    EXPECT_EQ(Occurrences(tray.Output(), " pressed: "), 1) << tray.Output();
    EXPECT_EQ(RunHost(L"--quit").exitCode, 0);
    EXPECT_EQ(tray.WaitForExit(kGenerous), 0);
}

TEST(HostPress, TapPrevious_ThePreviousWindowIsMinimisedAndHung_TarvelHostKeepsAnswering)
{
    const TarvelSettingsForTest settings;
    settings.Set(L"HoldMs", 300);
    settings.Set(L"Tap", L"previous");
    ForegroundSwitcher apps;
    // A window of this process, minimised, whose thread then answers nothing.
    const UniqueHandle release(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    std::atomic<HWND> hung{nullptr};
    std::thread hungThread([&] {
        hung = CreateWindowExW(0, L"STATIC", L"hung", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 100, 300, 200, nullptr,
                               nullptr, nullptr, nullptr);
        ShowWindow(hung, SW_SHOWMINNOACTIVE);
        WaitForSingleObject(release.get(), INFINITE);  // "Not Responding"
        DestroyWindow(hung);
    });
    ASSERT_TRUE(WaitUntil([&] { return hung.load() != nullptr; }, std::chrono::milliseconds(kGenerous)));
    ASSERT_TRUE(apps.SwitchTo(L"calc.exe"));
    HostProcess tray;
    ASSERT_TRUE(StartInBackground(tray)) << tray.Output() << tray.Errors();
    ASSERT_TRUE(apps.SwitchTo(L"calc.exe"));

    ClickSideButton(XBUTTON1);
    EXPECT_TRUE(WaitUntil([&] { return GetForegroundWindow() == hung.load(); }, std::chrono::milliseconds(kGenerous)))
        << "the tap did not switch to the hung window: " << tray.Output();
    DWORD_PTR answer = 0;
    EXPECT_NE(SendMessageTimeoutW(FindWindowW(kTrayWindowClass, nullptr), WM_NULL, 0, 0, SMTO_NORMAL, 1000, &answer),
              0)
        << "tarvel-host waits on the hung window";
    EXPECT_EQ(RunHost(L"--quit").exitCode, 0);
    EXPECT_EQ(tray.WaitForExit(kGenerous), 0);
    SetEvent(release.get());
    hungThread.join();
}

TEST(HostPress, WheelWhileHeld_TwoNotchesStepTwiceAndReachNoWindow_TheReleasePicks)
{
    const TarvelSettingsForTest settings;
    RecordingWindow recorder;
    ASSERT_NE(recorder.Window(), nullptr);
    ForegroundSwitcher apps;
    for (const wchar_t* name : {L"first.exe", L"second.exe", L"third.exe", L"fourth.exe"})
        ASSERT_TRUE(apps.SwitchTo(name));
    KeyRecorder keys;
    ASSERT_TRUE(keys.Installed());
    HostProcess tray;
    ASSERT_TRUE(StartInBackground(tray)) << tray.Output() << tray.Errors();
    ASSERT_TRUE(apps.SwitchTo(L"fourth.exe"));

    ASSERT_TRUE(Xdotool(L"mousedown 8"));  // the switcher opens at the down, on the next window
    const HWND switcher = WaitForAppSwitcher(std::chrono::milliseconds(kGenerous));
    ASSERT_NE(switcher, nullptr);
    ASSERT_TRUE(WaitUntil([&] { return GetForegroundWindow() == switcher; }, std::chrono::milliseconds(kGenerous)));
    const std::vector<std::wstring> items = AppSwitcherItems(switcher);
    ASSERT_GE(items.size(), 4u);
    ASSERT_TRUE(Xdotool(L"click --repeat 2 --delay 50 5"));  // toward the user: the next ones
    EXPECT_TRUE(keys.WaitFor(VK_RIGHT, true, 2, std::chrono::milliseconds(kGenerous))) << tray.Output();
    ASSERT_TRUE(Xdotool(L"mouseup 8"));
    EXPECT_TRUE(keys.WaitFor(VK_RETURN, true, 1, std::chrono::milliseconds(kGenerous))) << "the release picked nothing";
    EXPECT_TRUE(WaitUntil([&] { return !IsWindow(switcher); }, std::chrono::milliseconds(kGenerous)));
    EXPECT_TRUE(WaitUntil([&] { return WindowTitle(GetForegroundWindow()) == items[3]; },
                          std::chrono::milliseconds(kGenerous)))
        << "not two steps past the first choice";
    EXPECT_EQ(recorder.wheels.load(), 0) << "the wheel reached the window under the pointer";
    EXPECT_EQ(RunHost(L"--quit").exitCode, 0);
    EXPECT_EQ(tray.WaitForExit(kGenerous), 0);
}

// tarvel-host with "DesktopDrag" on, run as the given Windows (Wine answers
// per program) over the recording window, the keys recorded; a press is then
// moved 150 pixels to the right.
class DesktopDrag : public ::testing::Test {
protected:
    static constexpr wchar_t kVersionKey[] = L"Software\\Wine\\AppDefaults\\tarvel-host.exe";

    void Start(const std::wstring& version)
    {
        settings.Set(L"DesktopDrag", 1);
        RegSetKeyValueW(HKEY_CURRENT_USER, kVersionKey, L"Version", REG_SZ, version.c_str(),
                        static_cast<DWORD>((version.size() + 1) * sizeof(wchar_t)));
        ASSERT_TRUE(keys.Installed());
        ASSERT_NE(recorder.Window(), nullptr);
        ASSERT_TRUE(StartInBackground(tray)) << tray.Output() << tray.Errors();
    }
    void TearDown() override
    {
        EXPECT_EQ(RunHost(L"--quit").exitCode, 0);
        EXPECT_EQ(tray.WaitForExit(kGenerous), 0);
        RegDeleteTreeW(HKEY_CURRENT_USER, kVersionKey);
    }

    const TarvelSettingsForTest settings;
    KeyRecorder keys;
    RecordingWindow recorder;
    HostProcess tray;
};

TEST_F(DesktopDrag, OnWindows10_SwitchesDesktopAndOpensNothing_AClickStillFlips)
{
    Start(L"win10");

    const ButtonObserver seen;
    ASSERT_TRUE(SideButtonDown(seen));
    MovePointerBy(150, 0);
    ASSERT_TRUE(Xdotool(L"mouseup 8"));
    EXPECT_TRUE(keys.WaitFor(VK_RIGHT, true, 1, std::chrono::milliseconds(kGenerous))) << tray.Output();
    EXPECT_EQ(keys.Count(VK_LCONTROL, true), 1u);
    EXPECT_EQ(keys.Count(VK_LWIN, true), 1u);
    ASSERT_TRUE(Xdotool(L"click 8"));  // its line comes after any of the drag's
    EXPECT_TRUE(tray.WaitForOutput("xbutton1 pressed: ", kGenerous)) << "a click no longer flips: " << tray.Output();
    EXPECT_TRUE(CloseAppSwitcher(WaitForAppSwitcher(std::chrono::milliseconds(kGenerous)),
                                 std::chrono::milliseconds(kGenerous)));
    EXPECT_EQ(Occurrences(tray.Output(), " pressed: "), 1) << "the drag flipped too: " << tray.Output();
    ASSERT_TRUE(Xdotool(L"click 9"));  // once it has arrived, so have the first button's
    EXPECT_TRUE(WaitForCount(recorder.secondDowns, 1));
    EXPECT_EQ(recorder.firstDowns.load() + recorder.firstUps.load(), 0) << "the drag's button reached the window";
}

TEST_F(DesktopDrag, OnWindows7_TheDragSendsNothingAndThePressFlips)
{
    Start(L"win7");

    const ButtonObserver seen;
    ASSERT_TRUE(SideButtonDown(seen));
    MovePointerBy(150, 0);
    ASSERT_TRUE(Xdotool(L"mouseup 8"));
    EXPECT_TRUE(tray.WaitForOutput("xbutton1 pressed: ", kGenerous)) << tray.Output();
    EXPECT_TRUE(CloseAppSwitcher(WaitForAppSwitcher(std::chrono::milliseconds(kGenerous)),
                                 std::chrono::milliseconds(kGenerous)));
    EXPECT_EQ(keys.Count(VK_RIGHT, true) + keys.Count(VK_LWIN, true), 0u) << "Windows 7 has no virtual desktops";
}

TEST(HostPress, TapPrevious_ShortClickBringsThePreviousWindowToTheFront_NoFlip)
{
    const TarvelSettingsForTest settings;
    settings.Set(L"HoldMs", 300);
    settings.Set(L"Tap", L"previous");
    ForegroundSwitcher apps;
    ASSERT_TRUE(apps.SwitchTo(L"notepad.exe"));
    ASSERT_TRUE(apps.SwitchTo(L"calc.exe"));
    HostProcess tray;
    ASSERT_TRUE(StartInBackground(tray)) << tray.Output() << tray.Errors();
    ASSERT_TRUE(apps.SwitchTo(L"calc.exe"));

    ClickSideButton(XBUTTON1);
    const DWORD notepad = apps.Window(L"notepad.exe").ProcessId();
    EXPECT_TRUE(WaitUntil([&] { return ForegroundProcessId() == notepad; }, std::chrono::milliseconds(kGenerous)))
        << "the window used before did not come to the front: " << tray.Output();
    EXPECT_EQ(Occurrences(tray.Output(), " pressed: "), 0) << "the tap flipped: " << tray.Output();
    EXPECT_EQ(RunHost(L"--quit").exitCode, 0);
    EXPECT_EQ(tray.WaitForExit(kGenerous), 0);
}

}  // namespace
