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
#include "support/import_patch.h"
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

// Windows 7 without update KB2533623.
HMODULE WINAPI RefuseTheSearchFlag(LPCWSTR name, HANDLE file, DWORD flags)
{
    if ((flags & LOAD_LIBRARY_SEARCH_SYSTEM32) != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return LoadLibraryExW(name, file, flags);
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

TEST_F(Composition, SearchFlagRefused_TheSystemFoldersLibraryStillAnswers)
{
    ImportPatch refuse(plugin.Module(), "KERNEL32.dll", "LoadLibraryExW",
                       reinterpret_cast<void*>(&RefuseTheSearchFlag));
    ASSERT_TRUE(refuse.Applied());
    FakePointingDevice device{5};
    application.AddDevice(7, &device);
    context.SetDevice(&device);
    context.SetDeviceId(7);
    SetEnvironmentVariableW(L"TARVEL_TEST_COMPOSITION", L"on");

    EXPECT_EQ(Press(), 1);  // a flip, ended by the handler's Destroy

    EXPECT_EQ(device.SetCalls(), (std::vector<int>{1, 5})) << "composition taken as off";
    EXPECT_FALSE(host.Launched(host.ProgramFolder()));
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
