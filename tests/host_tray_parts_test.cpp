// The background mode's parts that the shell and the registry drive, on
// their own: the icon's bookkeeping against a notification area that answers
// as the shell does (Wine's cannot refuse an icon that exists), Start with
// Windows against Windows' record of the user turning it off, and the hook
// watchdog's decision.
#include <gtest/gtest.h>

#include <windows.h>

#include <set>
#include <string>

#include "autostart.h"
#include "hook_watchdog.h"
#include "tray_icon.h"
#include "tray_icons.h"

namespace {

// A notification area as the shell keeps it: NIM_ADD fails while it is not
// up yet or when the icon exists; NIM_MODIFY and NIM_DELETE fail without one.
struct NotificationArea {
    bool up = false;
    bool iconThere = false;
    int adds = 0;
    int balloons = 0;
} g_area;

BOOL WINAPI StandInNotify(DWORD action, NOTIFYICONDATAW* data)
{
    switch (action) {
    case NIM_ADD:
        ++g_area.adds;
        if (!g_area.up || g_area.iconThere)
            return FALSE;
        g_area.iconThere = true;
        return TRUE;
    case NIM_MODIFY:
        g_area.balloons += g_area.iconThere && (data->uFlags & NIF_INFO) != 0;
        return g_area.iconThere;
    case NIM_DELETE: {
        const bool was = g_area.iconThere;
        g_area.iconThere = false;
        return was;
    }
    default:
        return FALSE;
    }
}

class TrayIconTest : public ::testing::Test {
protected:
    TrayIconTest() { g_area = {}; }
    ~TrayIconTest() override { DestroyWindow(window); }

    HWND window = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
};

TEST_F(TrayIconTest, TaskbarCreatedWhileTheIconExists_ModifyKeepsItShown_TheEndDeletesIt)
{
    g_area.up = true;
    TrayIcon icon(window, WM_APP, &StandInNotify);
    icon.Show(false, L"Tarvel: first side button, on");
    ASSERT_TRUE(icon.Shown());
    // A DPI change or a remote connection: the icon is still there.
    icon.OnTaskbarCreated();
    EXPECT_TRUE(icon.Shown()) << "the icon is recorded as gone while it is there";
    icon.Remove();
    EXPECT_FALSE(g_area.iconThere) << "the end left the icon behind";
}

TEST_F(TrayIconTest, RetryStillPendingWhenTaskbarCreatedBringsTheIcon_TimerEnds_TheEndDeletesIt)
{
    TrayIcon icon(window, WM_APP, &StandInNotify);
    icon.Show(false, L"Tarvel: first side button, on");
    icon.ShowBalloon(L"Tarvel runs", L"The first side button flips between your windows.");
    EXPECT_FALSE(icon.Shown());
    EXPECT_TRUE(icon.RetryPending()) << "the icon is not asked for again";
    g_area.up = true;
    icon.OnTaskbarCreated();
    EXPECT_TRUE(icon.Shown());
    EXPECT_EQ(g_area.balloons, 1) << "the balloon waited for the icon";
    EXPECT_FALSE(icon.RetryPending()) << "the retry timer outlived the icon's coming";
    const int adds = g_area.adds;
    icon.OnRetryTimer();  // a tick queued before the timer was killed
    EXPECT_EQ(g_area.adds, adds);
    EXPECT_TRUE(icon.Shown());
    icon.Remove();
    EXPECT_FALSE(g_area.iconThere) << "the end left the icon behind";
}

// Each test starts without the Run value and Windows' record, and leaves none.
class AutostartTest : public ::testing::Test {
protected:
    AutostartTest() { Clean(); }
    ~AutostartTest() override { Clean(); }

    static void Clean()
    {
        RegDeleteKeyValueW(HKEY_CURRENT_USER, kRunKey, L"Tarvel");
        RegDeleteKeyValueW(HKEY_CURRENT_USER, kApprovedKey, L"Tarvel");
    }
    static void RecordByWindows(BYTE first)
    {
        const BYTE record[12] = {first};
        RegSetKeyValueW(HKEY_CURRENT_USER, kApprovedKey, L"Tarvel", REG_BINARY, record, sizeof(record));
    }
    static std::wstring RunValue()
    {
        wchar_t text[MAX_PATH]{};
        DWORD size = sizeof(text);
        RegGetValueW(HKEY_CURRENT_USER, kRunKey, L"Tarvel", RRF_RT_REG_SZ, nullptr, text, &size);
        return text;
    }

    static constexpr wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
    static constexpr wchar_t kApprovedKey[] =
        L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\Run";
    const std::wstring program = L"C:\\Program Files\\Tarvel Two\\tarvel-host.exe";
};

TEST_F(AutostartTest, TickedOnlyWhileWindowsRecordAllowsIt_TurningOnClearsARecordThatDisables)
{
    ASSERT_TRUE(SetAutostart(true, program));
    EXPECT_EQ(RunValue(), L"\"" + program + L"\" --logon");
    EXPECT_TRUE(AutostartEnabled(program));
    EXPECT_FALSE(AutostartEnabled(L"C:\\Program Files\\Tarvel Two\\other.exe"));
    EXPECT_FALSE(AutostartEnabled(L"C:\\Program")) << "the path was cut at its space";

    RecordByWindows(0x03);  // turned off under Settings > Apps > Startup
    EXPECT_FALSE(AutostartEnabled(program)) << "ticked while Windows will not start it";
    RecordByWindows(0x02);
    EXPECT_TRUE(AutostartEnabled(program));
    RecordByWindows(0x07);
    ASSERT_TRUE(SetAutostart(true, program));
    EXPECT_TRUE(AutostartEnabled(program)) << "turning it on left Windows' \"off\" in place";

    ASSERT_TRUE(SetAutostart(false, program));
    EXPECT_FALSE(AutostartEnabled(program));
    EXPECT_EQ(RunValue(), L"");
}

TEST(HookWatchdog, InputTheHookDidNotSee_CountsOnlyOnceALiveHookWouldHaveSeenIt)
{
    using hook_watchdog::MissedInput;
    EXPECT_FALSE(MissedInput(10000, 10000, 60000)) << "the hook saw the last input";
    EXPECT_FALSE(MissedInput(10000, 10400, 60000)) << "the hook saw input after it";
    EXPECT_FALSE(MissedInput(60000, 10000, 60200)) << "too recent for the hook to have seen it yet";
    EXPECT_TRUE(MissedInput(60000, 10000, 61000));
    // Ticks wrap after 49.7 days.
    EXPECT_TRUE(MissedInput(500, 0xFFFFF000u, 2000));
    EXPECT_FALSE(MissedInput(0xFFFFF000u, 500, 2000));
    // No input since the system started (Wine answers 0): nothing missed.
    EXPECT_FALSE(MissedInput(0, 123456, 200000));
}

// The program as shipped: a manifest that makes it sharp at every scale, and
// icons with an image for each size the shell asks for between 100 and 300 %.
TEST(HostProgramResources, ManifestAndEveryIconSize)
{
    HMODULE program =
        LoadLibraryExW(L"tarvel-host.exe", nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(program, nullptr);
    HRSRC manifest = FindResourceW(program, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
    ASSERT_NE(manifest, nullptr) << "tarvel-host.exe has no manifest";
    const std::string text(static_cast<const char*>(LockResource(LoadResource(program, manifest))),
                           SizeofResource(program, manifest));
    for (const char* part : {"PerMonitorV2", "Microsoft.Windows.Common-Controls", "asInvoker",
                             "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"})
        EXPECT_NE(text.find(part), std::string::npos) << part;
    for (int id : {IDI_TARVEL, IDI_TARVEL_PAUSED}) {
        HRSRC group = FindResourceW(program, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(14));  // RT_GROUP_ICON
        ASSERT_NE(group, nullptr);
        // The icon directory: three words, then 14 bytes an image (the width first, 0 for 256).
        const auto* directory = static_cast<const BYTE*>(LockResource(LoadResource(program, group)));
        const WORD count = *reinterpret_cast<const WORD*>(directory + 4);
        std::set<int> sizes;
        for (WORD i = 0; i < count; ++i)
            sizes.insert(directory[6 + 14 * i] == 0 ? 256 : directory[6 + 14 * i]);
        EXPECT_EQ(sizes, (std::set<int>{16, 20, 24, 32, 40, 48, 256})) << "icon " << id;
    }
    FreeLibrary(program);
}

}  // namespace
