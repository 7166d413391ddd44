// The background mode's parts that the shell and the registry drive, on
// their own: the icon's bookkeeping against a notification area that answers
// as the shell does (Wine's cannot refuse an icon that exists), Start with
// Windows against Windows' record of the user turning it off, the hook
// watchdog's decision, the hook's one decision per press with real
// injected input through the real hook, the choices' owner, the pause key's
// rules and the settings dialog as built.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <map>
#include <memory>
#include <set>
#include <string>

#include "autostart.h"
#include "button_hook.h"
#include "hook_watchdog.h"
#include "host_process.h"
#include "pause_key.h"
#include "press_timing.h"
#include "settings_window_ids.h"
#include "shell_actions.h"
#include "support/foreground_switcher.h"
#include "tray_icon.h"
#include "tray_choices.h"
#include "tray_icons.h"
#include "tray_menu.h"

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

// All copies share one Run value: a copy that is not the installed one says
// whose entry it takes, and that the installed copy's setup takes it back.
TEST(AutostartTakeover, NamesTheCopyWhoseEntryItTakes_NothingForItsOwnEntry)
{
    const std::wstring installed = L"C:\\Users\\Ann\\AppData\\Local\\Programs\\Tarvel";
    const std::wstring zip = L"D:\\Downloads\\Tarvel\\tarvel-host.exe";
    EXPECT_EQ(AutostartTakeover(zip, installed + L"\\tarvel-host.exe", installed),
              L"Windows now starts the Tarvel in D:\\Downloads\\Tarvel when you log on, in place of the installed "
              L"Tarvel (in " + installed + L").\n\nAll copies of Tarvel share this one entry: updating or uninstalling "
              L"the installed Tarvel (in " + installed + L") removes it.");
    EXPECT_EQ(AutostartTakeover(installed + L"\\tarvel-host.exe",
                                L"C:\\USERS\\ANN\\APPDATA\\LOCAL\\PROGRAMS\\TARVEL\\TARVEL-HOST.EXE", installed),
              L"")
        << "its own entry, in other letters";
    EXPECT_EQ(AutostartTakeover(zip, zip, L""), L"");
}

TEST(HookWatchdog, TouchpadAndInjectedReportsCount_PenTouchAndOurReplaysDoNot)
{
    EXPECT_TRUE(CountsForWatchdog(RIM_TYPEMOUSE, 0)) << "a touchpad's report (no device, no extra information)";
    EXPECT_TRUE(CountsForWatchdog(RIM_TYPEMOUSE, 0x12345678)) << "another program's SendInput";
    EXPECT_FALSE(CountsForWatchdog(RIM_TYPEMOUSE, 0xFF515700)) << "pen";
    EXPECT_FALSE(CountsForWatchdog(RIM_TYPEMOUSE, 0xFF515780)) << "touch";
    EXPECT_FALSE(CountsForWatchdog(RIM_TYPEMOUSE, 0x5452564C)) << "tarvel-host's own replay";
    EXPECT_FALSE(CountsForWatchdog(RIM_TYPEKEYBOARD, 0));
}

TEST(HookWatchdog, MouseInputTheHookDidNotSee_CountsOnceAGraceHasPassed_OnceUntilTheNewHookSeesInput)
{
    HookWatchdog watchdog;
    EXPECT_FALSE(watchdog.OnMouseInput(20000, 19900)) << "the hook saw input just before";
    EXPECT_FALSE(watchdog.OnMouseInput(40000, 20000)) << "the hook may not have seen this one yet";
    EXPECT_FALSE(watchdog.OnMouseInput(40500, 20000)) << "within the grace";
    EXPECT_TRUE(watchdog.OnMouseInput(41000, 20000)) << "input at 40000 that no hook saw";
    watchdog.Reinstalled(41000);
    EXPECT_FALSE(watchdog.OnMouseInput(50000, 41000));
    EXPECT_FALSE(watchdog.OnMouseInput(60000, 41000)) << "the new hook has seen nothing since: not again";
    EXPECT_FALSE(watchdog.OnMouseInput(70000, 69990)) << "the new hook sees input";
    EXPECT_FALSE(watchdog.OnMouseInput(80000, 70050));
    EXPECT_TRUE(watchdog.OnMouseInput(81500, 70050)) << "missed once more";
    HookWatchdog wrapping;  // ticks wrap after 49.7 days
    EXPECT_FALSE(wrapping.OnMouseInput(500, 0xFFFFFE00u));
    EXPECT_TRUE(wrapping.OnMouseInput(1500, 0xFFFFFE00u));
}

// The real hook, with injected input: each press keeps what its down
// decided, although the filter changes before its up (the flip itself
// changes the foreground).  The observer, installed first, is asked after
// the hook and sees only what the hook lets through, in input order.
TEST(ButtonHookPress, FilterChangesBetweenDownAndUp_TheDownsDecisionHolds)
{
    constexpr UINT kPressed = WM_APP + 7;
    ButtonObserver observer;
    ASSERT_TRUE(observer.Installed());
    ButtonHook hook(nullptr, GetCurrentThreadId(), kPressed, MouseButton::XButton1, false);
    ASSERT_TRUE(hook.Installed());
    const auto send = [](DWORD flag, DWORD data) {
        INPUT input{};
        input.type = INPUT_MOUSE;
        input.mi.dwFlags = flag;
        input.mi.mouseData = data;
        SendInput(1, &input, sizeof(input));
    };

    // Let through at the down, to be swallowed by the up: the up follows its down.
    hook.SetPassThrough(true);
    send(MOUSEEVENTF_XDOWN, XBUTTON1);
    ASSERT_TRUE(WaitForCount(observer.xbutton1, 1));
    hook.SetPassThrough(false);
    send(MOUSEEVENTF_XUP, XBUTTON1);
    EXPECT_TRUE(WaitForCount(observer.xbutton1Up, 1)) << "the up of a delivered down was swallowed";

    // Swallowed at the down (a press), let through by the up: the up is swallowed too.
    send(MOUSEEVENTF_XDOWN, XBUTTON1);
    MSG message{};
    EXPECT_TRUE(WaitUntil([&] { return PeekMessageW(&message, nullptr, kPressed, kPressed, PM_REMOVE) != FALSE; },
                          std::chrono::seconds(10)));
    hook.SetPassThrough(true);
    send(MOUSEEVENTF_XUP, XBUTTON1);
    send(MOUSEEVENTF_MIDDLEDOWN, 0);  // let through: once seen, the up has been decided
    send(MOUSEEVENTF_MIDDLEUP, 0);
    ASSERT_TRUE(WaitForCount(observer.middle, 1));
    EXPECT_EQ(observer.xbutton1.load(), 1);
    EXPECT_EQ(observer.xbutton1Up.load(), 1) << "the up of a swallowed down went through";
}

// A hook installed again mid-press (the watchdog, a resume): the middle
// button's drag re-sent its down, so its up must reach the application.
TEST(ButtonHookPress, ReinstalledBetweenAReSentDownAndItsUp_TheUpIsDelivered)
{
    constexpr UINT kPressed = WM_APP + 7;
    ButtonObserver observer;
    ASSERT_TRUE(observer.Installed());
    auto hook = std::make_unique<ButtonHook>(nullptr, GetCurrentThreadId(), kPressed, MouseButton::Middle, false);
    const auto send = [](DWORD flag, LONG x = 0) {
        INPUT input{};
        input.type = INPUT_MOUSE;
        input.mi.dwFlags = flag;
        input.mi.dx = x * 65536 / GetSystemMetrics(SM_CXSCREEN);
        input.mi.dy = 300 * 65536 / GetSystemMetrics(SM_CYSCREEN);
        SendInput(1, &input, sizeof(input));
    };
    press_timing::SetHoldMs(5000);
    send(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE, 400);
    send(MOUSEEVENTF_MIDDLEDOWN);
    send(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE, 460);  // a drag: the down is sent again
    EXPECT_TRUE(WaitForCount(observer.middle, 1)) << "the drag's down was not sent again";
    hook.reset();
    hook = std::make_unique<ButtonHook>(nullptr, GetCurrentThreadId(), kPressed, MouseButton::Middle, false);
    send(MOUSEEVENTF_MIDDLEUP);
    EXPECT_TRUE(WaitForCount(observer.middleUp, 1)) << "the drag's up was swallowed: the button stays down";
    press_timing::SetHoldMs(0);
}

// Windows dropped the hook while the button was held: only Raw Input saw the
// up, and the wheel must scroll again.  A late report of the last press's up
// must not end the press under way.
TEST(PressTiming, AnUpOnlyRawInputSaw_EndsThePress_ALateUpOfTheLastPressDoesNot)
{
    press_timing::Reset([](press_timing::PressKind) {});
    press_timing::SetGestures(true, false);
    MSLLHOOKSTRUCT down{};
    down.time = 1000;
    press_timing::OnDown(down, MouseButton::XButton1);  // no hold time: shown at once
    press_timing::OnRawButtons(RI_MOUSE_BUTTON_4_UP, 990);
    EXPECT_TRUE(press_timing::OnWheel(-WHEEL_DELTA)) << "a late up ended the press under way";
    press_timing::OnRawButtons(RI_MOUSE_BUTTON_4_UP, 1100);
    EXPECT_FALSE(press_timing::OnWheel(-WHEEL_DELTA)) << "the wheel stays swallowed after an up the hook missed";
    press_timing::SetGestures(false, false);
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

// With the settings window open, the menu picks another button and excludes
// an application; the window's OK brings only what was edited in it.
TEST(TrayChoices, MenuChangesWhileTheWindowIsOpen_KeptByItsOk_WhichBringsOnlyItsOwnEdits)
{
    TrayChoices shown;
    shown.settings.corners = CornerTopLeft;
    shown.settings.excluded = {L"game.exe"};
    TrayChoices current = ChooseFromMenu(shown, TrayCommandXButton2, L"");
    current = ChooseFromMenu(current, TrayCommandExclude, L"notepad.exe");
    TrayChoices edited = shown;
    edited.settings.holdMs = 400;
    edited.settings.corners |= CornerBottomRight;
    edited.settings.excluded.clear();  // "game.exe" removed in the window
    const TrayChoices result = ChooseFromWindow(current, shown, edited);
    EXPECT_EQ(result.settings.button, MouseButton::XButton2) << "OK put back the button the window showed";
    EXPECT_EQ(result.settings.excluded, std::vector<std::wstring>{L"notepad.exe"});
    EXPECT_EQ(result.settings.holdMs, 400u);
    EXPECT_EQ(result.settings.corners, unsigned{CornerTopLeft | CornerBottomRight});
    EXPECT_EQ(ChangesBetween(current, result), unsigned{ChangedTrigger | ChangedCorners | ChangedExclusions});
}

TEST(TrayChoices, NumbersOutsideTheirRangeRefusedNamingIt_ApplyWaitsForAChangeOrARefusal)
{
    for (const wchar_t* typed : {L"99999", L"0", L"", L"3x"}) {
        const TypedMs hold = ReadTypedMs(typed, kHoldRange);
        EXPECT_NE(hold.problem.find(L"from 100 to 5000"), std::wstring::npos) << typed;
    }
    EXPECT_EQ(ReadTypedMs(L"400", kHoldRange).ms, 400u);
    EXPECT_TRUE(ReadTypedMs(L"400", kHoldRange).problem.empty());
    TrayChoices shown, edited;
    EXPECT_FALSE(ApplyWaits(shown, edited, false));
    EXPECT_TRUE(ApplyWaits(shown, edited, true));
    edited.settings.wheelSteps = false;
    EXPECT_TRUE(ApplyWaits(shown, edited, false));
    edited = ChooseFromMenu(shown, TrayCommandDesktopDrag, L"");
    EXPECT_EQ(ChangesBetween(shown, edited), unsigned{ChangedDesktopDrag});
}

// A time out of range in the registry: the nearest valid one, said once.
TEST(TrayChoices, RegistryTimesOutOfRange_TheNearestValidOneAndWhatWasMended)
{
    const TarvelSettingsForTest registry;
    registry.Set(L"HoldMs", 99999);
    registry.Set(L"CornerMs", 0);
    std::wstring problems;
    const TraySettings settings = LoadSettings(&problems);
    EXPECT_EQ(settings.holdMs, 5000u);
    EXPECT_EQ(settings.cornerMs, 50u);
    EXPECT_NE(problems.find(L"HoldMs was 99999 ms; Tarvel uses 5000 ms"), std::wstring::npos) << problems;
    EXPECT_NE(problems.find(L"CornerMs was 0 ms; Tarvel uses 50 ms"), std::wstring::npos) << problems;
}

// No layout types a character with these (a US keyboard's way).
std::wstring TypesNothing(UINT, UINT) { return {}; }

TEST(PauseKeyRules, KeysTypingNeedsRefused_CombinationsAndKeysMadeForItAccepted)
{
    for (const auto& [modifiers, key] : {std::pair<UINT, UINT>{0, 'P'}, {MOD_SHIFT, 'A'}, {MOD_CONTROL, VK_F12}})
        EXPECT_FALSE(PauseKeyRefusal(modifiers, key, &TypesNothing).empty()) << FormatPauseKey(modifiers, key);
    for (const auto& [modifiers, key] : {std::pair<UINT, UINT>{MOD_CONTROL | MOD_ALT, 'P'}, {0, VK_PAUSE}, {0, VK_F13}})
        EXPECT_EQ(PauseKeyRefusal(modifiers, key, &TypesNothing), L"") << FormatPauseKey(modifiers, key);
    // AltGr is Ctrl+Alt to Windows: on a German keyboard it types these.
    // (Wine's ToUnicodeEx reads the X server's keymap whatever the layout, so
    // the layout's answer stands in here.)
    const auto typedOnGerman = [](UINT modifiers, UINT key) -> std::wstring {
        const std::map<UINT, std::wstring> altGr{{'Q', L"@"}, {'E', L"\u20AC"}, {'7', L"{"}, {'M', L"\u00B5"}};
        const auto found = altGr.find(key);
        return modifiers == (MOD_CONTROL | MOD_ALT) && found != altGr.end() ? found->second : L"";
    };
    EXPECT_NE(PauseKeyRefusal(MOD_CONTROL | MOD_ALT, 'Q', typedOnGerman).find(L"\"@\""), std::wstring::npos);
    EXPECT_EQ(PauseKeyRefusal(MOD_CONTROL | MOD_ALT, 'P', typedOnGerman), L"");
    EXPECT_EQ(SuggestedPauseKey(typedOnGerman), L"Ctrl+Alt+P");
    // The user's own layouts, asked: Shift+A types "A"; Ctrl+P's control code types nothing.
    EXPECT_EQ(CharacterOfAnyLayout(MOD_SHIFT, 'A'), L"A");
    EXPECT_EQ(CharacterOfAnyLayout(MOD_CONTROL, 'P'), L"");
}

// Elevating a copy that the user's programs can change would run what they planted there.
TEST(Elevation, OfferedOnlyToAnAdministratorsCopyUnderProgramFiles)
{
    EXPECT_TRUE(IsPathInFolder(L"C:\\Program Files\\Tarvel\\tarvel-host.exe", L"c:\\program files"));
    EXPECT_FALSE(IsPathInFolder(L"C:\\Program Files Mine\\tarvel-host.exe", L"C:\\Program Files"));
    EXPECT_EQ(ElevationFor(true, true), Elevation::Offered);
    EXPECT_EQ(ElevationFor(true, false), Elevation::NeedsInstalledCopy);
    EXPECT_EQ(ElevationFor(false, true), Elevation::Pointless);
}

// The settings window as the program builds it: the menu's words, and the
// pause key taken as keys pressed, as Windows' own shortcut boxes do.
TEST(HostProgramResources, SettingsDialogSaysSwitchNeverFlip_ItsPauseKeyIsAHotKeyControl)
{
    const INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_HOTKEY_CLASS};
    ASSERT_TRUE(InitCommonControlsEx(&controls));
    HWND dialog = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_SETTINGS), nullptr,
                                     [](HWND, UINT, WPARAM, LPARAM) -> INT_PTR { return FALSE; }, 0);
    ASSERT_NE(dialog, nullptr);
    std::wstring texts;
    EnumChildWindows(
        dialog,
        [](HWND child, LPARAM all) -> BOOL {
            wchar_t text[128]{};
            GetWindowTextW(child, text, 128);
            *reinterpret_cast<std::wstring*>(all) += CharLowerW(text) + std::wstring(L"|");
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&texts));
    EXPECT_EQ(texts.find(L"flip"), std::wstring::npos) << texts;
    EXPECT_NE(texts.find(L"switch"), std::wstring::npos) << texts;
    wchar_t className[32]{};
    GetClassNameW(GetDlgItem(dialog, IDC_PAUSE_KEY), className, 32);
    EXPECT_STREQ(className, HOTKEY_CLASSW);
    // At most about 600 pixels at 96 DPI: OK and Apply above a 768-pixel screen's taskbar.
    RECT bound{0, 0, 0, 300}, client{};
    MapDialogRect(dialog, &bound);
    GetClientRect(dialog, &client);
    EXPECT_LE(client.bottom, bound.bottom);
    DestroyWindow(dialog);
}

}  // namespace
