// tarvel-host's own objects: the mouse as a pointing device over the system's
// pointer speed, the wheel's and the pointer's settings with a window that no
// longer answers, and the translator over the host's string table.
#include <gtest/gtest.h>

#include <thread>

#include "common/unique_handle.h"
#include "host_objects.h"
#include "plugin_library.h"
#include "support/import_patch.h"

namespace {

// Puts the pointer speed back however the test ends.
class PointerSpeedGuard {
public:
    PointerSpeedGuard() : m_speed(ReadPointerSpeed()) {}
    ~PointerSpeedGuard() { WritePointerSpeed(m_speed); }

private:
    int m_speed;
};

TEST(HostPointingDevice, SettingsOneToTen_AreSpeedsOneToTwenty)
{
    PointerSpeedGuard guard;
    PointerSpeedDevice mouse;
    ASSERT_TRUE(WritePointerSpeed(14));
    EXPECT_EQ(ReadPointerSpeed(), 14) << "the platform keeps no pointer speed";
    EXPECT_EQ(mouse.GetSetting(), 7);
    mouse.SetSetting(1);
    EXPECT_EQ(ReadPointerSpeed(), 2);
    mouse.SetSetting(10);
    EXPECT_EQ(ReadPointerSpeed(), 20);
    EXPECT_EQ(mouse.GetSetting(), 10);
    ASSERT_TRUE(WritePointerSpeed(1));
    EXPECT_EQ(mouse.GetSetting(), 1);
}

TEST(HostPointingDevice, SettingBackWhatWasRead_RestoresAnOddSpeedExactly)
{
    PointerSpeedGuard guard;
    PointerSpeedDevice mouse;
    ASSERT_TRUE(WritePointerSpeed(13));
    const int saved = mouse.GetSetting();
    EXPECT_EQ(saved, 7);
    mouse.SetSetting(1);
    EXPECT_EQ(ReadPointerSpeed(), 2);
    mouse.SetSetting(saved);
    EXPECT_EQ(ReadPointerSpeed(), 13) << "a flip must not nudge the user's speed";
}

TEST(HostPointingDevice, RestoreIfLowered_OnlyAfterASettingThatWasNotPutBack)
{
    PointerSpeedGuard guard;
    PointerSpeedDevice mouse;
    ASSERT_TRUE(WritePointerSpeed(9));
    EXPECT_FALSE(mouse.RestoreIfLowered()) << "nothing was lowered yet";
    const int saved = mouse.GetSetting();
    mouse.SetSetting(1);
    EXPECT_TRUE(mouse.RestoreIfLowered());
    EXPECT_EQ(ReadPointerSpeed(), 9);
    EXPECT_FALSE(mouse.RestoreIfLowered()) << "restores once";

    mouse.SetSetting(1);
    mouse.SetSetting(saved);
    ASSERT_TRUE(WritePointerSpeed(16));  // the user's own change afterwards stays
    EXPECT_FALSE(mouse.RestoreIfLowered());
    EXPECT_EQ(ReadPointerSpeed(), 16);
}

TEST(HostPointingDevice, ValuesOutsideOneToTen_AreClamped)
{
    PointerSpeedGuard guard;
    PointerSpeedDevice mouse;
    mouse.SetSetting(0);
    EXPECT_EQ(ReadPointerSpeed(), 2);
    mouse.SetSetting(11);
    EXPECT_EQ(ReadPointerSpeed(), 20);
}

// A top-level window of this process whose thread stops answering messages:
// what a "Not Responding" application is to the rest of the desktop.
class WindowNotResponding {
public:
    WindowNotResponding()
    {
        HANDLE created = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        m_thread = std::thread([this, created] {
            HWND window = CreateWindowExW(0, L"STATIC", L"Tarvel test: not responding", WS_OVERLAPPED, 0, 0, 100,
                                          100, nullptr, nullptr, nullptr, nullptr);
            m_created = window != nullptr;
            SetEvent(created);
            WaitForSingleObject(m_answerAgain.get(), INFINITE);  // no messages meanwhile
            DestroyWindow(window);
        });
        WaitForSingleObject(created, INFINITE);
        CloseHandle(created);
    }
    ~WindowNotResponding()
    {
        SetEvent(m_answerAgain.get());
        m_thread.join();
    }
    bool Created() const { return m_created; }

private:
    UniqueHandle m_answerAgain{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    bool m_created = false;  // written by the thread before it signals
    std::thread m_thread;
};

using SystemParametersInfoFunction = BOOL(WINAPI*)(UINT, UINT, void*, UINT);
using SendNotifyMessageFunction = BOOL(WINAPI*)(HWND, UINT, WPARAM, LPARAM);
SystemParametersInfoFunction g_systemParametersInfo = nullptr;
SendNotifyMessageFunction g_sendNotifyMessage = nullptr;
int g_wheelNotices = 0;

// Wine's SystemParametersInfoW waits on no window for SPIF_SENDCHANGE;
// Windows sends WM_SETTINGCHANGE to each top-level window and waits for it.
BOOL WINAPI WaitingLikeWindows(UINT action, UINT value, void* data, UINT flags)
{
    const BOOL done = g_systemParametersInfo(action, value, data, flags & ~SPIF_SENDCHANGE);
    if (done && (flags & SPIF_SENDCHANGE) != 0)
        SendMessageTimeoutW(HWND_BROADCAST, WM_SETTINGCHANGE, action, 0, SMTO_NORMAL, 2000, nullptr);
    return done;
}

BOOL WINAPI CountingWheelNotices(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    g_wheelNotices += window == HWND_BROADCAST && message == WM_SETTINGCHANGE && wParam == SPI_SETWHEELSCROLLLINES;
    return g_sendNotifyMessage(window, message, wParam, lParam);
}

// What a press and the flip's end do to the settings, while a window does
// not answer: both change at once, and programs still hear of the wheel's.
TEST(HostSettings, AWindowStopsAnswering_WheelAndPointerChangeAtOnce_TheWheelStillAnnounced)
{
    const ImportPatch waiting(GetModuleHandleW(nullptr), "user32.dll", "SystemParametersInfoW",
                              reinterpret_cast<void*>(&WaitingLikeWindows));
    g_systemParametersInfo = waiting.Original<SystemParametersInfoFunction>();
    const ImportPatch notices(GetModuleHandleW(nullptr), "user32.dll", "SendNotifyMessageW",
                              reinterpret_cast<void*>(&CountingWheelNotices));
    g_sendNotifyMessage = notices.Original<SendNotifyMessageFunction>();
    ASSERT_TRUE(waiting.Applied());
    PointerSpeedGuard guard;
    unsigned lines = 0;
    ASSERT_TRUE(kWheelLinesSetting.read(lines));
    const WindowNotResponding hung;
    ASSERT_TRUE(hung.Created());

    const DWORD start = GetTickCount();
    EXPECT_TRUE(kWheelLinesSetting.write(1));
    EXPECT_TRUE(kPointerSpeedSetting.write(2));
    EXPECT_TRUE(kWheelLinesSetting.write(lines));
    EXPECT_LT(GetTickCount() - start, 100u) << "the settings waited on the window that does not answer";
    EXPECT_EQ(g_wheelNotices, 2) << "the wheel's changes were not announced";
}

TEST(HostApplicationObjects, TranslatorDeviceAndFolder_AnswerWhatThePluginAsks)
{
    HostTranslator translator;
    std::wstring text = L"stale";
    EXPECT_TRUE(translator.Translate(L"HELP_QUICKSWITCH", text));
    EXPECT_EQ(text, L"Choose the application to switch to");
    EXPECT_FALSE(translator.Translate(L"NO_SUCH_KEY", text));
    EXPECT_EQ(text, L"");
    EXPECT_EQ(translator.Calls(), 2);

    HostApplication application;
    ASSERT_NE(application.Mouse().Device(), nullptr) << "the bridge made no pointing device";
    EXPECT_EQ(application.GetDevice(HostApplication::MouseId), application.Mouse().Device());
    EXPECT_EQ(application.GetDevice(HostApplication::MouseId + 1), nullptr);
    EXPECT_TRUE(application.MakeContext());

    // The host's folder as the record carries it: the subfolder tarvel-host\
    // of this program's (where tarvel-host.exe is built too), ending in a
    // backslash, where the build puts the app switcher.
    const std::wstring folder = ExecutableFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_NE(GetFileAttributesW((folder + L"tarvel-host.exe").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(HostFolder(), folder + L"tarvel-host\\");
    EXPECT_NE(GetFileAttributesW((HostFolder() + L"Pluggins\\ZeltoAppSwitcher.exe").c_str()), INVALID_FILE_ATTRIBUTES);
}

}  // namespace
