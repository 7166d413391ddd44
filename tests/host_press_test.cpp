// tarvel-host in the background with a hold time: real side-button presses
// (xdotool, through the X server) over a window that records what reaches
// it, and the tap to the previous window.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <string>

#include "host_process.h"
#include "support/app_switcher_window.h"
#include "support/foreground_switcher.h"

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

    std::atomic<int> firstDowns{0}, firstUps{0}, secondDowns{0};
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

TEST(HostPress, HoldTime_ShortClickReachesTheWindowUnderThePointer_LongPressFlipsAndReachesNothing)
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

    // Held: the flip starts while the button is down (composition off: the
    // host's app switcher), and neither half reaches the window.
    ASSERT_TRUE(Xdotool(L"mousedown 8"));
    EXPECT_TRUE(tray.WaitForOutput("xbutton1 pressed: ", kGenerous)) << tray.Output();
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
