// Whether Execute flips or launches depends on the system's dwmapi.dll alone.
// Our dwmapi.dll in the test prefix's system folder answers as
// TARVEL_TEST_COMPOSITION says; the one beside the test programs answers the
// opposite, so loading it would turn every expectation here around.
#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <optional>
#include <string>

#include "support/app_switcher_folder.h"
#include "support/fake_host.h"
#include "support/plugin_loader.h"

namespace {

using namespace std::chrono_literals;

std::wstring Environment(const wchar_t* name)
{
    wchar_t value[512] = L"";
    const DWORD length = GetEnvironmentVariableW(name, value, 512);
    return length < 512 ? std::wstring(value, length) : std::wstring();
}

// What the system's dwmapi.dll answers when this process asks it, or nothing
// when it cannot be loaded.
std::optional<bool> SystemDwmapiAnswer()
{
    UniqueModule dwmapi(LoadLibraryExW(L"dwmapi.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32));
    if (!dwmapi)
        return std::nullopt;
    using Query = HRESULT(WINAPI*)(BOOL*);
    auto query = reinterpret_cast<Query>(
        reinterpret_cast<void*>(GetProcAddress(dwmapi.get(), "DwmIsCompositionEnabled")));
    BOOL enabled = FALSE;
    if (query != nullptr)
        query(&enabled);
    return enabled != FALSE;
}

class Composition : public ::testing::Test {
protected:
    PluginLoader plugin;
    AppSwitcherFolder host;
    FakeTranslator translator{L"Quick switch"};
    FakeApplication application{&translator};
    HostContext context;

    void SetUp() override
    {
        ASSERT_TRUE(plugin.Loaded()) << "tarvel.dll not loaded, error " << GetLastError();
        ASSERT_TRUE(host.InstallIn(host.ProgramFolder()));
        context.SetApplication(&application);
        context.SetHostFolder(host.HostFolder());
    }

    int32_t Press()
    {
        HandlerOwner handler(plugin.CreateTarvel());
        return handler.Execute(context);
    }
};

TEST_F(Composition, SystemLibraryAnswersOff_LaunchesTheSwitcher)
{
    SetEnvironmentVariableW(L"TARVEL_TEST_COMPOSITION", L"off");

    EXPECT_EQ(Press(), 1);

    EXPECT_TRUE(host.WaitForLaunch(host.ProgramFolder(), 10s).has_value())
        << "composition was taken as on: the dwmapi.dll beside the host was loaded";
}

TEST_F(Composition, NoLibrary_LaunchesTheSwitcher)
{
    ASSERT_NE(Environment(L"WINEDLLOVERRIDES").find(L"dwmapi=d"), std::wstring::npos)
        << "run through ctest, which disables dwmapi.dll for this test";
    SetEnvironmentVariableW(L"TARVEL_TEST_COMPOSITION", L"on");
    ASSERT_EQ(SystemDwmapiAnswer(), std::nullopt);

    EXPECT_EQ(Press(), 1);

    EXPECT_TRUE(host.WaitForLaunch(host.ProgramFolder(), 10s).has_value());
}

TEST(ExecuteRecord, NullRecord_ReturnsZeroAndDoesNothing)
{
    PluginLoader plugin;
    ASSERT_TRUE(plugin.Loaded());
    HandlerOwner handler(plugin.CreateTarvel());
    for (const wchar_t* composition : {L"on", L"off"}) {
        SetEnvironmentVariableW(L"TARVEL_TEST_COMPOSITION", composition);
        EXPECT_EQ(handler.Execute(nullptr), 0);
    }
}

}  // namespace
