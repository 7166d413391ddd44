// The app-switcher launch: with composition off, Execute starts the host's
// <HostFolder>Pluggins\ZeltoAppSwitcher.exe with the quoted prompt.  The
// program started is a recorder of ours that writes down what it received.
#include <gtest/gtest.h>

#include <windows.h>

#include <shellapi.h>

#include <chrono>
#include <memory>
#include <string>

#include "support/app_switcher_folder.h"
#include "support/fake_host.h"
#include "support/import_patch.h"
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
    int32_t Press(HostContext& context)
    {
        HandlerOwner handler(plugin.CreateTarvel());
        return handler.Execute(context);
    }

    std::unique_ptr<HostContext> ContextFor(HostApplication* application, const std::wstring& hostFolder)
    {
        auto context = std::make_unique<HostContext>();
        context->SetApplication(application);
        context->SetHostFolder(hostFolder);
        return context;
    }
};

// What the plug-in asked the shell to start, in place of starting it.
struct ShellRequest {
    int calls = 0;
    std::wstring file;
    std::wstring parameters;
};
ShellRequest g_shellRequest;

BOOL WINAPI RecordShellExecute(SHELLEXECUTEINFOW* info)
{
    ++g_shellRequest.calls;
    g_shellRequest.file = info->lpFile != nullptr ? info->lpFile : L"(null)";
    g_shellRequest.parameters = info->lpParameters != nullptr ? info->lpParameters : L"(null)";
    info->hProcess = nullptr;
    return TRUE;
}

// One press whose shell call is recorded in g_shellRequest, not made; true
// when Execute returned 1 and the shell was asked once.
bool PressRecordingTheShell(HostContext& context)
{
    PluginLoader plugin;
    ImportPatch shell(plugin.Module(), "shell32.dll", "ShellExecuteExW",
                      reinterpret_cast<void*>(&RecordShellExecute));
    g_shellRequest = {};
    HandlerOwner handler(plugin.CreateTarvel());
    return shell.Applied() && handler.Execute(context) == 1 && g_shellRequest.calls == 1;
}

TEST_F(Launch, TwoWordPrompt_StartsTheHostSwitcherWithThePromptInQuotes)
{
    FakeTranslator translator(L"Quick switch");
    FakeApplication application(&translator);
    auto context = ContextFor(&application, host.HostFolder());

    EXPECT_EQ(Press(*context), 1);

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
    for (HostApplication* application : {static_cast<HostApplication*>(&withEmptyTranslation),
                                         static_cast<HostApplication*>(&withoutTranslator),
                                         static_cast<HostApplication*>(nullptr)}) {
        AppSwitcherFolder folder;
        ASSERT_TRUE(folder.InstallIn(folder.ProgramFolder()));
        auto context = ContextFor(application, folder.HostFolder());

        EXPECT_EQ(Press(*context), 1);

        const auto launch = folder.WaitForLaunch(folder.ProgramFolder(), kLaunchLimit);
        ASSERT_TRUE(launch.has_value()) << "the app switcher was not started";
        EXPECT_EQ(launch->arguments, L"\"\"");
    }
    EXPECT_EQ(withoutTranslator.TranslatorRequests(), 1);
}

TEST_F(Launch, HostFolderWithoutBackslash_GetsOne)
{
    // A program where the folder's name and "Pluggins" run together is not
    // the host's.
    ASSERT_TRUE(host.InstallIn(host.RunTogetherFolder()));
    FakeTranslator translator(L"Quick switch");
    FakeApplication application(&translator);
    std::wstring folder = host.HostFolder();
    folder.pop_back();
    auto context = ContextFor(&application, folder);

    EXPECT_EQ(Press(*context), 1);

    const auto launch = host.WaitForLaunch(host.ProgramFolder(), kLaunchLimit);
    ASSERT_TRUE(launch.has_value()) << "the host's app switcher was not started; run-together path started: "
                                    << host.Launched(host.RunTogetherFolder());
    EXPECT_EQ(launch->arguments, L"\"Quick switch\"");
}

TEST_F(Launch, NoSwitcherProgram_StillReturnsOne)
{
    AppSwitcherFolder empty;  // no program installed
    FakeTranslator translator(L"Quick switch");
    FakeApplication application(&translator);
    auto context = ContextFor(&application, empty.HostFolder());

    EXPECT_EQ(Press(*context), 1);
    EXPECT_EQ(translator.Keys().size(), 1u);
}

TEST_F(Launch, EmptyHostFolder_StartsTheSwitcherBesideTheHostsExecutable)
{
    // Never a relative path, which the shell would look for in the current
    // directory.  The shell call is recorded, not made.
    FakeApplication application(nullptr);
    auto context = ContextFor(&application, L"");
    ASSERT_TRUE(PressRecordingTheShell(*context));
    EXPECT_EQ(g_shellRequest.file, TestProgramFolder() + L"Pluggins\\ZeltoAppSwitcher.exe");
}

TEST_F(Launch, LongFolderAndPrompt_ReachTheShellWhole)
{
    // Both strings are in heap blocks of MSVC's big-allocation kind, one
    // built by the host and read by the plug-in, one grown by the host inside
    // the plug-in's string.  The shell call is recorded, not made: Wine's
    // shell gives up on paths this long.
    const std::wstring folder = L"C:\\" + std::wstring(2996, L'f') + L"\\";
    const std::wstring prompt = L"Quick " + std::wstring(2994, L'p');
    ASSERT_EQ(folder.size(), 3000u);
    ASSERT_EQ(prompt.size(), 3000u);
    FakeTranslator translator(prompt);
    FakeApplication application(&translator);
    auto context = ContextFor(&application, folder);
    ASSERT_TRUE(PressRecordingTheShell(*context));
    EXPECT_EQ(g_shellRequest.file, folder + L"Pluggins\\ZeltoAppSwitcher.exe");
    EXPECT_EQ(g_shellRequest.parameters, L"\"" + prompt + L"\"");
}

}  // namespace
