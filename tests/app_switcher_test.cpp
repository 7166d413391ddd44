// ZeltoAppSwitcher.exe, the app switcher tarvel-host ships, started as the
// plug-in starts it (the prompt in double quotes) over real windows of the
// window helper, and used as a user uses it: keys and a click.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "common/unique_handle.h"
#include "support/app_switcher_window.h"
#include "support/foreground_switcher.h"

namespace {

constexpr std::chrono::seconds kGenerous(10);

void PressKey(WORD key)
{
    INPUT inputs[2]{};
    inputs[0].type = inputs[1].type = INPUT_KEYBOARD;
    inputs[0].ki.wVk = inputs[1].ki.wVk = key;
    inputs[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, inputs, sizeof(INPUT));
}

void ClickAt(POINT point)
{
    SetCursorPos(point.x, point.y);
    INPUT inputs[2]{};
    inputs[0].type = inputs[1].type = INPUT_MOUSE;
    inputs[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    inputs[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    SendInput(2, inputs, sizeof(INPUT));
}

// The switcher started with one command-line argument, in its own folder.
class SwitcherRun {
public:
    SwitcherRun(const std::wstring& program, const std::wstring& argument)
    {
        std::wstring commandLine = L"\"" + program + L"\" " + argument;
        const std::wstring folder = program.substr(0, program.find_last_of(L'\\') + 1);
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION process{};
        if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                            folder.c_str(), &startup, &process))
            return;
        const UniqueHandle thread(process.hThread);
        m_process.reset(process.hProcess);
        m_window = WaitForAppSwitcher(kGenerous, process.dwProcessId);
    }
    ~SwitcherRun()
    {
        if (m_process && !Ended(std::chrono::milliseconds(0)))
            TerminateProcess(m_process.get(), 1);
    }

    // Its window once shown and in front, with the keyboard; null otherwise.
    HWND Window() const
    {
        return WaitUntil([this] { return m_window != nullptr && GetForegroundWindow() == m_window; }, kGenerous)
                   ? m_window
                   : nullptr;
    }
    bool Ended(std::chrono::milliseconds limit) const
    {
        return WaitForSingleObject(m_process.get(), static_cast<DWORD>(limit.count())) == WAIT_OBJECT_0;
    }

private:
    UniqueHandle m_process;
    HWND m_window = nullptr;
};

TEST(AppSwitcher, StartedWithAPrompt_ShowsItOverTheWindowsToSwitchTo_AndAPickRestoresOne)
{
    ForegroundSwitcher apps;
    ForegroundWindowProcess& editor = apps.Window(L"tarvel-editor.exe");
    ASSERT_TRUE(editor.Started());
    ASSERT_TRUE(apps.SwitchTo(L"tarvel-viewer.exe"));
    const HWND editorWindow = FindWindowW(L"TarvelForegroundWindow", editor.Path().c_str());
    ASSERT_NE(editorWindow, nullptr);
    ShowWindow(editorWindow, SW_MINIMIZE);

    // Quotes inside the prompt come unescaped, as the plug-in passes them.
    const SwitcherRun switcher(BuiltAppSwitcher(), L"\"Switch to \"which\" window\"");
    const HWND window = switcher.Window();
    ASSERT_NE(window, nullptr) << "no switcher window came to the front";
    EXPECT_EQ(WindowTitle(window), L"Switch to \"which\" window");
    const std::vector<std::wstring> items = AppSwitcherItems(window);
    const auto listed = [&items](const std::wstring& title) { return std::find(items.begin(), items.end(), title); };
    EXPECT_NE(listed(apps.Window(L"tarvel-viewer.exe").Path()), items.end());
    const auto editorItem = listed(editor.Path());
    ASSERT_NE(editorItem, items.end()) << "the minimised window is not listed";
    EXPECT_EQ(listed(WindowTitle(window)), items.end()) << "it lists itself";

    // Down from the top to the minimised editor, then Enter.
    PressKey(VK_HOME);
    for (auto item = items.begin(); item != editorItem; ++item)
        PressKey(VK_DOWN);
    PressKey(VK_RETURN);
    EXPECT_TRUE(WaitUntil([&] { return ForegroundProcessId() == editor.ProcessId(); }, kGenerous))
        << "the picked window did not come to the front";
    EXPECT_TRUE(WaitUntil([&] { return !IsIconic(editorWindow); }, kGenerous)) << "it stayed minimised";
    EXPECT_TRUE(switcher.Ended(kGenerous)) << "the list stayed after the pick";
}

TEST(AppSwitcher, EscapeOrAClickElsewhere_ClosesIt_AndItWritesNothing)
{
    ForegroundSwitcher apps;
    ForegroundWindowProcess& editor = apps.Window(L"tarvel-editor.exe");
    ASSERT_TRUE(editor.Started());
    const HWND editorWindow = FindWindowW(L"TarvelForegroundWindow", editor.Path().c_str());
    ASSERT_NE(editorWindow, nullptr);
    // A copy alone in a folder of its own, which is also its working folder.
    const std::wstring folder = apps.Root() + L"\\switcher\\";
    const std::wstring program = folder + L"ZeltoAppSwitcher.exe";
    CreateDirectoryW(folder.c_str(), nullptr);
    ASSERT_TRUE(CopyFileW(BuiltAppSwitcher().c_str(), program.c_str(), FALSE));

    {
        const SwitcherRun switcher(program, L"\"Choose\"");
        ASSERT_NE(switcher.Window(), nullptr);
        PressKey(VK_ESCAPE);
        EXPECT_TRUE(switcher.Ended(kGenerous)) << "Escape did not close it";
    }
    {
        const SwitcherRun switcher(program, L"\"Choose\"");
        const HWND window = switcher.Window();
        ASSERT_NE(window, nullptr);
        RECT list{};
        RECT other{};
        GetWindowRect(window, &list);
        GetWindowRect(editorWindow, &other);
        const POINT elsewhere{other.left + 20, other.bottom - 20};
        ASSERT_FALSE(PtInRect(&list, elsewhere)) << "the helper's window lies under the list";
        ClickAt(elsewhere);
        EXPECT_TRUE(switcher.Ended(kGenerous)) << "a click elsewhere did not close it";
    }

    WIN32_FIND_DATAW found{};
    std::vector<std::wstring> files;
    const HANDLE search = FindFirstFileW((folder + L"*").c_str(), &found);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    do {
        if (wcscmp(found.cFileName, L".") != 0 && wcscmp(found.cFileName, L"..") != 0)
            files.emplace_back(found.cFileName);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    EXPECT_EQ(files, std::vector<std::wstring>{L"ZeltoAppSwitcher.exe"}) << "it wrote into its folder";
}

}  // namespace
