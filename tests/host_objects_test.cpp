// tarvel-host's own objects: the mouse as a pointing device over the system's
// pointer speed, and the translator over the host's string table.
#include <gtest/gtest.h>

#include "host_objects.h"
#include "plugin_library.h"

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
