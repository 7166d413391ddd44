// tarvel-host's own objects: the mouse as a pointing device over the system's
// pointer speed, and the translator over the host's string table.
#include <gtest/gtest.h>

#include "host_objects.h"

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

TEST(HostApplicationObjects, TranslatorAndDevice_AnswerWhatThePluginAsks)
{
    HostApplication application;
    CResString text = L"stale";
    ASSERT_NE(application.GetTranslator(), nullptr);
    EXPECT_TRUE(application.GetTranslator()->Translate(CResString(L"HELP_QUICKSWITCH"), text));
    EXPECT_EQ(text, L"Choose the application to switch to");
    EXPECT_FALSE(application.GetTranslator()->Translate(CResString(L"NO_SUCH_KEY"), text));
    EXPECT_EQ(text, L"");

    EXPECT_EQ(application.GetDevice(HostApplication::MouseId), &application.Mouse());
    EXPECT_EQ(application.GetDevice(HostApplication::MouseId + 1), nullptr);

    const MacroContext context = application.MakeContext();
    EXPECT_EQ(context.Device, &application.Mouse());
    EXPECT_EQ(context.Application, &application);
    EXPECT_EQ(context.DeviceId, HostApplication::MouseId);
    ASSERT_FALSE(context.HostFolder.empty());
    EXPECT_EQ(context.HostFolder.back(), L'\\');
    EXPECT_NE(GetFileAttributesW((context.HostFolder + L"tarvel-host.exe").c_str()), INVALID_FILE_ATTRIBUTES);
}

}  // namespace
