// The app-switcher launch: with composition off, Execute starts the host's
// <HostFolder>Pluggins\ZeltoAppSwitcher.exe with the quoted prompt.  The
// program started is a recorder of ours that writes down what it received.
#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>

#include "support/app_switcher_folder.h"
#include "support/fake_host.h"
#include "support/plugin_loader.h"

namespace {

using namespace std::chrono_literals;

constexpr auto kLaunchLimit = 10s;

// Case-insensitive, as the file system compares paths.
bool SamePath(const std::wstring& left, const std::wstring& right)
{
    return CompareStringOrdinal(left.c_str(), -1, right.c_str(), -1, TRUE) == CSTR_EQUAL;
}

class Launch : public ::testing::Test {
protected:
    PluginLoader plugin;
    AppSwitcherFolder host;

    void SetUp() override
    {
        // Read by our dwmapi.dll in the system folder on every query.
        SetEnvironmentVariableW(L"TARVEL_TEST_COMPOSITION", L"off");
        ASSERT_TRUE(plugin.Loaded()) << "tarvel.dll not loaded, error " << GetLastError();
        ASSERT_TRUE(host.InstallIn(host.ProgramFolder()));
    }

    // Runs one button press with this record; returns Execute's result.
    int32_t Press(MacroContext& context)
    {
        HandlerOwner handler(plugin.CreateTarvel());
        return handler->Execute(&context);
    }

    MacroContext ContextFor(IApplication* application, const std::wstring& hostFolder)
    {
        MacroContext context;
        context.Application = application;
        context.HostFolder = hostFolder.c_str();
        return context;
    }
};

TEST_F(Launch, TwoWordPrompt_StartsTheHostSwitcherWithThePromptInQuotes)
{
    FakeTranslator translator(L"Quick switch");
    FakeApplication application(&translator);
    MacroContext context = ContextFor(&application, host.HostFolder());

    EXPECT_EQ(Press(context), 1);

    const auto launch = host.WaitForLaunch(host.ProgramFolder(), kLaunchLimit);
    ASSERT_TRUE(launch.has_value()) << "the app switcher was not started";
    EXPECT_TRUE(SamePath(launch->program, host.ProgramFolder() + L"ZeltoAppSwitcher.exe"))
        << "started " << ::testing::PrintToString(launch->program);
    EXPECT_EQ(launch->arguments, L"\"Quick switch\"");
    ASSERT_EQ(translator.Keys().size(), 1u);
    EXPECT_EQ(translator.Keys()[0], L"HELP_QUICKSWITCH");
}

TEST_F(Launch, NoPrompt_PassesTwoDoubleQuotes)
{
    // An empty translation, a host without a translator, and no application
    // object at all each give the empty prompt.
    FakeTranslator emptyTranslator(L"");
    FakeApplication withEmptyTranslation(&emptyTranslator);
    FakeApplication withoutTranslator(nullptr);
    for (IApplication* application : {static_cast<IApplication*>(&withEmptyTranslation),
                                      static_cast<IApplication*>(&withoutTranslator),
                                      static_cast<IApplication*>(nullptr)}) {
        AppSwitcherFolder folder;
        ASSERT_TRUE(folder.InstallIn(folder.ProgramFolder()));
        MacroContext context = ContextFor(application, folder.HostFolder());

        EXPECT_EQ(Press(context), 1);

        const auto launch = folder.WaitForLaunch(folder.ProgramFolder(), kLaunchLimit);
        ASSERT_TRUE(launch.has_value()) << "the app switcher was not started";
        EXPECT_EQ(launch->arguments, L"\"\"");
    }
    EXPECT_EQ(withoutTranslator.TranslatorRequests(), 1);
}

TEST_F(Launch, HostFolderWithoutBackslash_RunsTogetherAndIsNotRepaired)
{
    ASSERT_TRUE(host.InstallIn(host.RunTogetherFolder()));
    FakeTranslator translator(L"Quick switch");
    FakeApplication application(&translator);
    std::wstring folder = host.HostFolder();
    folder.pop_back();
    MacroContext context = ContextFor(&application, folder);

    EXPECT_EQ(Press(context), 1);

    const auto launch = host.WaitForLaunch(host.RunTogetherFolder(), kLaunchLimit);
    ASSERT_TRUE(launch.has_value()) << "the run-together path was not started";
    EXPECT_EQ(launch->arguments, L"\"Quick switch\"");
    EXPECT_FALSE(host.Launched(host.ProgramFolder())) << "the path was repaired";
}

TEST_F(Launch, NoSwitcherProgram_StillReturnsOne)
{
    AppSwitcherFolder empty;  // no program installed
    FakeTranslator translator(L"Quick switch");
    FakeApplication application(&translator);
    MacroContext context = ContextFor(&application, empty.HostFolder());

    EXPECT_EQ(Press(context), 1);
    EXPECT_EQ(translator.Keys().size(), 1u);
}

}  // namespace
