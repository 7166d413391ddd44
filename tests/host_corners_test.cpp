// Hot corners of the running tarvel-host, reached with the pointer as the
// user's mouse moves it (injected moves, which its hook sees as any move).
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "host_process.h"
#include "support/app_switcher_window.h"
#include "support/foreground_switcher.h"

namespace {

constexpr DWORD kGenerous = 10000;
void MoveTo(int x, int y, DWORD extraFlags = 0)
{
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi.dx = x * 65535 / (GetSystemMetrics(SM_CXSCREEN) - 1);
    input.mi.dy = y * 65535 / (GetSystemMetrics(SM_CYSCREEN) - 1);
    input.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE | extraFlags;
    SendInput(1, &input, sizeof(input));
}

int Presses(const HostProcess& tray) { return Occurrences(tray.Output(), " pressed: "); }

TEST(HostCorners, CornerHeldForTheDwellFlips_CrossedQuicklyOrReachedWithAButtonHeldDoesNot)
{
    const TarvelSettingsForTest settings;
    settings.Set(L"Corners", std::wstring(L"top-left\0bottom-right\0", 22), REG_MULTI_SZ);
    const DWORD dwellMs = 300;
    settings.Set(L"CornerMs", dwellMs);
    HostProcess tray;
    ASSERT_TRUE(StartInBackground(tray)) << tray.Output() << tray.Errors();
    const int right = GetSystemMetrics(SM_CXSCREEN) - 1, bottom = GetSystemMetrics(SM_CYSCREEN) - 1;

    // Crossed at once, then reached with the right button held: nothing.
    MoveTo(0, 0);
    MoveTo(200, 200);
    MoveTo(200, 200, MOUSEEVENTF_RIGHTDOWN);
    MoveTo(right, bottom);
    Sleep(3 * dwellMs);  // what must not happen has had its time
    MoveTo(200, 200, MOUSEEVENTF_RIGHTUP);
    EXPECT_EQ(Presses(tray), 0) << tray.Output();

    // Kept there: one press, and no second one while the pointer stays.
    MoveTo(0, 0);
    EXPECT_TRUE(tray.WaitForOutput("xbutton1 pressed: ", kGenerous)) << tray.Output();
    EXPECT_TRUE(CloseAppSwitcher(WaitForAppSwitcher(std::chrono::milliseconds(kGenerous)),
                                 std::chrono::milliseconds(kGenerous)));
    MoveTo(0, 0);
    MoveTo(200, 200);
    EXPECT_EQ(Presses(tray), 1) << tray.Output();
    EXPECT_EQ(RunHost(L"--quit").exitCode, 0);
    EXPECT_EQ(tray.WaitForExit(kGenerous), 0);
}

}  // namespace
