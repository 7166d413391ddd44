// The flip on each Windows version: built three times, each copy run as
// Windows 7, 8.1 or 10 through Wine's per-program version (see flip.cmake).
// Each version's switcher opens with a sticky shortcut; no key stays down.
#include "flip_fixture.h"

#include <algorithm>
#include <iterator>

#include "common/running_version.h"
#include "support/import_patch.h"

namespace {

// As Wine's per-program version sets it.
const DWORD kVersion = ReadRunningWindowsVersion();
const bool kWindows10 = kVersion >= 0x0A00;
const bool kWindows8 = !kWindows10 && kVersion >= 0x0602;

// Each version's sticky shortcut, every key released in the same call.
std::vector<Key> Shortcut()
{
    if (kWindows10)
        return {{VK_LWIN, true}, {VK_TAB, true}, {VK_TAB, false}, {VK_LWIN, false}};
    const DWORD second = kWindows8 ? VK_LMENU : VK_LWIN;
    return {{VK_LCONTROL, true}, {second, true}, {VK_TAB, true}, {VK_TAB, false}, {second, false}, {VK_LCONTROL, false}};
}

// A compatibility mode's answer from RtlGetVersion: Windows 7, whatever runs.
// (The plug-in neither imports nor looks up GetVersionEx.)
LONG WINAPI Windows7Version(OSVERSIONINFOW* info)
{
    info->dwMajorVersion = 6;
    info->dwMinorVersion = 1;
    return 0;
}
using GetProcAddressFunction = FARPROC(WINAPI*)(HMODULE, const char*);
GetProcAddressFunction g_getProcAddress = nullptr;
FARPROC WINAPI LyingVersions(HMODULE module, const char* name)
{
    const bool lied = reinterpret_cast<uintptr_t>(name) > 0xFFFF && strcmp(name, "RtlGetVersion") == 0;
    return lied ? reinterpret_cast<FARPROC>(&Windows7Version) : g_getProcAddress(module, name);
}

using FlipVersion = FlipFixture;

TEST_F(FlipVersion, Press_SendsThisVersionsStickyShortcutAllKeysUp_WhatRtlGetVersionSaysChangesNothing)
{
    ImportPatch lookUp(plugin.Module(), "KERNEL32.dll", "GetProcAddress", reinterpret_cast<void*>(&LyingVersions));
    ASSERT_TRUE(lookUp.Applied());
    g_getProcAddress = lookUp.Original<GetProcAddressFunction>();

    ASSERT_EQ(Press(), 1);
    // All in when Execute returns: a key held until the flip's end would be missing.
    EXPECT_EQ(InjectedKeys(), Shortcut()) << "Windows " << std::hex << kVersion;
    EXPECT_EQ(device.Setting(), 1);
    EXPECT_EQ(Press(), 0);
    EXPECT_EQ(InjectedKeys(), Shortcut()) << "a second press with no switcher in front sends nothing";
    EXPECT_EQ(device.Setting(), 5);
}

TEST_F(FlipVersion, ModifiersHeldAtThePress_AreLiftedAroundTheShortcutAndPutBack_TheWindowsKeyMasked)
{
    keybd_event(VK_LSHIFT, 0x2A, 0, 0);
    keybd_event(VK_LWIN, 0x5B, KEYEVENTF_EXTENDEDKEY, 0);
    ASSERT_TRUE(WaitUntil([] { return (GetAsyncKeyState(VK_LWIN) & 0x8000) != 0; }, kReportLimit));
    const int32_t pressed = Press();
    keybd_event(VK_LSHIFT, 0x2A, KEYEVENTF_KEYUP, 0);
    keybd_event(VK_LWIN, 0x5B, KEYEVENTF_EXTENDEDKEY | KEYEVENTF_KEYUP, 0);
    ASSERT_EQ(pressed, 1);

    // A Windows key going up with no key since its down would open the Start
    // menu: an unassigned key (E8) is tapped before the lift and after the put-back.
    const Key held[] = {{VK_LSHIFT, true}, {VK_LWIN, true}};
    const Key lifted[] = {{0xE8, true}, {0xE8, false}, {VK_LSHIFT, false}, {VK_LWIN, false}};
    const Key putBack[] = {{VK_LSHIFT, true}, {VK_LWIN, true}, {0xE8, true}, {0xE8, false}};
    const Key released[] = {{VK_LSHIFT, false}, {VK_LWIN, false}};
    std::vector<Key> expected(std::begin(held), std::end(held));
    expected.insert(expected.end(), std::begin(lifted), std::end(lifted));
    const std::vector<Key> shortcut = Shortcut();
    expected.insert(expected.end(), shortcut.begin(), shortcut.end());
    expected.insert(expected.end(), std::begin(putBack), std::end(putBack));
    expected.insert(expected.end(), std::begin(released), std::end(released));
    const size_t windowsUps = std::count(expected.begin(), expected.end(), Key{VK_LWIN, false});
    ASSERT_TRUE(keys.WaitFor(VK_LWIN, false, windowsUps, kReportLimit));
    EXPECT_EQ(InjectedKeys(), expected);
}

TEST_F(FlipVersion, SecondPressWithTheSwitcherInFront_TapsEscapeOn10_EnterOn7And8)
{
    ForegroundWindowProcess& switcher = kWindows10  ? desktop.StartSwitcher(L"explorer.exe", L"MultitaskingViewFrame")
                                        : kWindows8 ? desktop.StartSwitcher(L"explorer.exe", L"TaskSwitcherWnd")
                                                    : desktop.StartSwitcher(L"dwm.exe", L"Flip3D");
    ASSERT_TRUE(desktop.SwitchTo(L"start.exe"));
    ASSERT_EQ(Press(), 1);
    ASSERT_TRUE(switcher.ShowSwitcher());
    const std::string name = kWindows10 || kWindows8 ? "explorer.exe" : "dwm.exe";
    ASSERT_TRUE(output->WaitFor(LineFor(name), kReportLimit));
    EXPECT_EQ(device.Setting(), 1) << "the switcher in front ended the flip";

    EXPECT_EQ(Press(), 0);
    EXPECT_EQ(device.Setting(), 5);
    const int tapped = kWindows10 ? VK_ESCAPE : VK_RETURN;
    const std::string tap = std::to_string(tapped) + " down\n" + std::to_string(tapped) + " up\n";
    EXPECT_TRUE(WaitUntil([&] { return switcher.ReceivedKeys().find(tap) != std::string::npos; }, kReportLimit))
        << "received: " << switcher.ReceivedKeys();
}

TEST_F(FlipVersion, CompositionAnsweredOff_OnlyWindows7LaunchesTheAppSwitcher)
{
    // What DwmIsCompositionEnabled tells a host without a Windows 8 manifest.
    SetEnvironmentVariableW(L"TARVEL_TEST_COMPOSITION", L"off");
    const int32_t pressed = Press();
    SetEnvironmentVariableW(L"TARVEL_TEST_COMPOSITION", L"on");
    EXPECT_EQ(pressed, 1);
    if (!kWindows10 && !kWindows8) {
        EXPECT_TRUE(host.WaitForLaunch(host.ProgramFolder(), kReportLimit).has_value());
        EXPECT_TRUE(InjectedKeys().empty());
        return;
    }
    ASSERT_TRUE(keys.WaitFor(Shortcut().back().vk, false, 1, kReportLimit));
    EXPECT_EQ(InjectedKeys(), Shortcut());
    EXPECT_EQ(device.Setting(), 1);
    EXPECT_EQ(Press(), 0);
    EXPECT_FALSE(host.Launched(host.ProgramFolder()));
}

}  // namespace
