// The desktop, the test host and the loaded plug-in for the tests of the
// window flip: tarvel.dll loaded like a host loads it, key events seen by a
// low-level keyboard hook, foreground switches made by real helper processes,
// the diagnostic lines read from this process's output.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "support/app_switcher_folder.h"
#include "support/fake_host.h"
#include "support/foreground_switcher.h"
#include "support/key_recorder.h"
#include "support/plugin_loader.h"
#include "support/stdout_capture.h"

using namespace std::chrono_literals;

inline constexpr uint64_t kDeviceId = 42;
// A report comes 700 ms after a switch; this leaves room for a busy machine.
inline constexpr auto kReportLimit = 10s;
inline const std::string kEmptyLine = "Foreground changed ()";

inline std::string LineFor(const std::string& name) { return "Foreground changed (" + name + ")"; }

struct Key {
    DWORD vk;
    bool down;
    bool operator==(const Key& other) const { return vk == other.vk && down == other.down; }
};

inline void PrintTo(const Key& key, std::ostream* out)
{
    *out << (key.vk == VK_LWIN ? "Win" : key.vk == VK_TAB ? "Tab" : std::to_string(key.vk))
         << (key.down ? " down" : " up");
}

class FlipFixture : public ::testing::Test {
protected:
    PluginLoader plugin;
    FakePointingDevice device{5};
    FakeTranslator translator{L"Quick switch"};
    FakeApplication application{&translator};
    AppSwitcherFolder host;
    HostContext context;
    ForegroundSwitcher desktop;
    KeyRecorder keys;
    std::unique_ptr<StdoutCapture> output;
    std::unique_ptr<HandlerOwner> handler;  // destroyed first: it takes the monitor down

    void SetUp() override
    {
        // Read by our dwmapi.dll in the system folder on every query.
        SetEnvironmentVariableW(L"TARVEL_TEST_COMPOSITION", L"on");
        ASSERT_TRUE(plugin.Loaded()) << "tarvel.dll not loaded, error " << GetLastError();
        ASSERT_TRUE(keys.Installed());
        ASSERT_TRUE(host.InstallIn(host.ProgramFolder()));
        application.AddDevice(kDeviceId, &device);
        context.SetDevice(&device);
        context.SetApplication(&application);
        context.SetDeviceId(kDeviceId);
        context.SetHostFolder(host.HostFolder());
        // The monitor needs a foreground application to name at registration;
        // the usual pick is started before any flip, as a flip with no switch
        // for 1.5 s ends by itself.
        StartBehind(L"notepad.exe");
        output = std::make_unique<StdoutCapture>();
        ASSERT_TRUE(output->Active());
        handler = std::make_unique<HandlerOwner>(plugin.CreateTarvel());
        ASSERT_NE(handler->get(), nullptr);
    }

    void TearDown() override
    {
        // Never leave the Windows key down for the tests after this one.
        if (Held() && handler)
            Press();
        EXPECT_FALSE(Held()) << "the Windows key was left down";
        handler.reset();
        output.reset();
    }

    // A window to switch to later, started now; start.exe in front again.
    void StartBehind(const std::wstring& program)
    {
        ASSERT_TRUE(desktop.SwitchTo(program));
        ASSERT_TRUE(desktop.SwitchTo(L"start.exe"));
    }

    int32_t Press() { return handler->Execute(context); }
    // A press whose exception, if any, the test examines.
    int32_t Press(TbThrow& thrown) { return bridge::Execute(handler->get(), &context, thrown); }

    bool Held() const { return keys.Count(VK_LWIN, true) > keys.Count(VK_LWIN, false); }
    size_t WindowsUps() const { return keys.Count(VK_LWIN, false); }
    bool WaitWindowsUps(size_t count) const { return keys.WaitFor(VK_LWIN, false, count, kReportLimit); }

    std::vector<Key> InjectedKeys() const
    {
        std::vector<Key> result;
        for (const KeyEvent& event : keys.Events()) {
            if (event.injected)
                result.push_back({event.vk, event.down});
        }
        return result;
    }

    // Switches the foreground and waits for the flip's line about it.
    void SwitchAndWaitForLine(const std::wstring& program, const std::string& line, size_t count = 1)
    {
        ASSERT_TRUE(desktop.SwitchTo(program));
        ASSERT_TRUE(output->WaitFor(line, kReportLimit, count)) << "no line: " << line;
    }
};

