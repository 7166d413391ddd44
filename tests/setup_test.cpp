// The setup program (build/package/tarvel-<version>-setup.exe) run the way a
// script or a package manager runs it, in a Wine prefix of these tests' own
// that never had Tarvel (helpers/setup_prefix.sh makes it for each run).
#include <gtest/gtest.h>

#include <windows.h>

#include <tlhelp32.h>

#include <chrono>
#include <cstring>
#include <map>
#include <optional>
#include <string>

#include "common/unique_handle.h"
#include "support/foreground_switcher.h"
#include "tray_mode.h"

namespace {

constexpr std::chrono::seconds kGenerous{120};
const wchar_t kUninstallKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tarvel";
const wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const wchar_t kApprovedKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\Run";
const wchar_t kSettingsKey[] = L"Software\\Tarvel";
const std::wstring kDefaultFolder = _wgetenv(L"LOCALAPPDATA") + std::wstring(L"\\Programs\\Tarvel");
const std::wstring kShortcut = _wgetenv(L"APPDATA") + std::wstring(L"\\Microsoft\\Windows\\Start Menu\\Programs\\Tarvel.lnk");

// A value of HKEY_CURRENT_USER\`key` of any type (as its bytes, for one that is not text).
std::optional<std::wstring> Read(const wchar_t* key, const wchar_t* name)
{
    wchar_t data[512]{};
    DWORD size = sizeof(data) - sizeof(wchar_t);
    if (RegGetValueW(HKEY_CURRENT_USER, key, name, RRF_RT_ANY, nullptr, data, &size) != ERROR_SUCCESS)
        return std::nullopt;
    return std::wstring(data);
}

bool FileExists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// Runs `command` (the setup program when `program` is null) to its end: its
// exit code, or -1 when it could not start or did not end in time.
int Run(std::wstring command, const wchar_t* program = nullptr)
{
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION started{};
    if (!CreateProcessW(program, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &started))
        return -1;
    const UniqueHandle process(started.hProcess), thread(started.hThread);
    DWORD code = 0;
    const bool ended = WaitForSingleObject(process.get(), DWORD(kGenerous.count() * 1000)) == WAIT_OBJECT_0;
    return ended && GetExitCodeProcess(process.get(), &code) ? int(code) : -1;
}

int RunSetup(const std::wstring& options) { return Run(L"setup.exe " + options, TARVEL_SETUP); }

// The registered quiet uninstall hands over to a copy of itself in the
// temporary folder and ends at once; the copy removes the Uninstall key last.
int Uninstall(const std::wstring& options)
{
    const int code = Run(Read(kUninstallKey, L"QuietUninstallString").value_or(L"none") + L" " + options);
    const bool done = WaitUntil([] { return !Read(kUninstallKey, L"DisplayName"); }, kGenerous);
    return done ? code : -1;
}

// The file name of the process that started process `id`, "" when it has ended.
std::wstring ParentName(DWORD id)
{
    const UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    std::map<DWORD, PROCESSENTRY32W> processes;
    PROCESSENTRY32W entry{sizeof(entry)};
    for (BOOL more = Process32FirstW(snapshot.get(), &entry); more; more = Process32NextW(snapshot.get(), &entry))
        processes[entry.th32ProcessID] = entry;
    const auto parent = processes.find(processes[id].th32ParentProcessID);
    return parent != processes.end() ? parent->second.szExeFile : L"";
}

// The instance in the notification area, once its window is there.
struct RunningHost {
    HWND window = nullptr;
    DWORD id = 0;
    UniqueHandle process;
    std::wstring image;

    RunningHost()
    {
        WaitUntil([this] { return (window = FindWindowW(kTrayWindowClass, nullptr)) != nullptr; }, kGenerous);
        GetWindowThreadProcessId(window, &id);
        process.reset(OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id));
        wchar_t path[MAX_PATH]{};
        DWORD size = MAX_PATH;
        if (process && QueryFullProcessImageNameW(process.get(), 0, path, &size))
            image = path;
    }
    bool Ended() const { return WaitForSingleObject(process.get(), DWORD(kGenerous.count() * 1000)) == WAIT_OBJECT_0; }
};

// Each test leaves the prefix with nothing installed or running (a process
// left behind would hold the test's output open).
class Setup : public ::testing::Test {
protected:
    void TearDown() override
    {
        if (Read(kUninstallKey, L"DisplayName"))
            Uninstall(L"/RemoveSettings");
        if (HWND window = FindWindowW(kTrayWindowClass, nullptr))
            PostMessageW(window, WM_CLOSE, 0, 0);
        WaitUntil([] { return FindWindowW(kTrayWindowClass, nullptr) == nullptr; }, kGenerous);
    }
};

TEST_F(Setup, SilentInstallIntoAFreshPrefix_PutsFilesShortcutAndUninstallKey_AndStartsTheHost)
{
    ASSERT_FALSE(Read(kSettingsKey, L"Button")) << "the prefix is not fresh";
    ASSERT_EQ(RunSetup(L"/S"), 0);
    const std::wstring host = kDefaultFolder + L"\\tarvel-host.exe";
    for (const wchar_t* file : {L"tarvel-host.exe", L"tarvel-bridge.dll", L"tarvel.dll", L"uninstall.exe"})
        EXPECT_TRUE(FileExists(kDefaultFolder + L"\\" + file)) << file;
    EXPECT_TRUE(FileExists(kShortcut));
    EXPECT_EQ(Read(kUninstallKey, L"DisplayName"), L"Tarvel");
    EXPECT_EQ(Read(kUninstallKey, L"DisplayVersion"), TARVEL_VERSION);
    EXPECT_EQ(Read(kUninstallKey, L"InstallLocation"), kDefaultFolder);
    EXPECT_EQ(Read(kUninstallKey, L"QuietUninstallString"), L"\"" + kDefaultFolder + L"\\uninstall.exe\" /S");
    EXPECT_EQ(Read(kRunKey, L"Tarvel"), L"\"" + host + L"\" --logon");
    const RunningHost running;
    ASSERT_TRUE(running.process) << "no icon's window";
    EXPECT_EQ(_wcsicmp(running.image.c_str(), host.c_str()), 0) << running.image;
    // Wine runs every program elevated, as Windows runs a setup program run
    // as administrator: the shell starts the host, with the shell's token.
    const std::wstring parent = ParentName(running.id);
    EXPECT_EQ(_wcsicmp(parent.c_str(), L"explorer.exe"), 0)
        << "started by the setup program itself, with its elevation: " << std::string(parent.begin(), parent.end());
}

TEST_F(Setup, UpdateWhileTheHostRuns_EndsItAndStartsTheNewOne_InTheSameFolderWithTheSettingsKept)
{
    const std::wstring folder = _wgetenv(L"USERPROFILE") + std::wstring(L"\\My Tools\\Tarvel");
    ASSERT_EQ(RunSetup(L"/S /D=" + folder), 0);
    const RunningHost old;
    ASSERT_TRUE(old.process);
    // What the user chose in the menu: another button, not with Windows.
    RegSetKeyValueW(HKEY_CURRENT_USER, kSettingsKey, L"Button", REG_SZ, L"middle", sizeof(L"middle"));
    RegDeleteKeyValueW(HKEY_CURRENT_USER, kRunKey, L"Tarvel");

    ASSERT_EQ(RunSetup(L"/S"), 0);
    ASSERT_TRUE(old.Ended()) << "the running copy was not ended";
    const RunningHost updated;
    ASSERT_TRUE(updated.process) << "the new copy did not start";
    EXPECT_NE(updated.id, old.id);
    EXPECT_EQ(_wcsicmp(updated.image.c_str(), (folder + L"\\tarvel-host.exe").c_str()), 0) << updated.image;
    EXPECT_EQ(Read(kSettingsKey, L"Button"), L"middle");
    EXPECT_FALSE(Read(kRunKey, L"Tarvel")) << "the update turned starting with Windows back on";
    EXPECT_FALSE(FileExists(kDefaultFolder));
}

TEST_F(Setup, UpdateIntoAnotherFolder_KeepsTheEntryThatWindowsStartupListTurnedOff)
{
    const std::wstring profile = _wgetenv(L"USERPROFILE");
    ASSERT_EQ(RunSetup(L"/S /D=" + profile + L"\\Tarvel first"), 0);
    // The user's "off" in Settings > Apps > Startup, with the time it was set.
    const BYTE turnedOff[12] = {0x03, 0, 0, 0, 0x10, 0x32, 0x54, 0x76, 0x98, 0xba, 0xdc, 0x01};
    RegSetKeyValueW(HKEY_CURRENT_USER, kApprovedKey, L"Tarvel", REG_BINARY, turnedOff, sizeof(turnedOff));

    const std::wstring moved = profile + L"\\Tarvel moved";
    ASSERT_EQ(RunSetup(L"/S /D=" + moved), 0);
    EXPECT_EQ(Read(kRunKey, L"Tarvel"), L"\"" + moved + L"\\tarvel-host.exe\" --logon")
        << "the entry left Windows' list, or starts the old folder";
    BYTE record[12]{};
    DWORD size = sizeof(record);
    ASSERT_EQ(RegGetValueW(HKEY_CURRENT_USER, kApprovedKey, L"Tarvel", RRF_RT_REG_BINARY, nullptr, record, &size),
              ERROR_SUCCESS)
        << "the move lost Windows' record: Tarvel now starts with Windows";
    EXPECT_EQ(memcmp(record, turnedOff, sizeof(record)), 0);
}

TEST_F(Setup, SilentUninstall_EndsTheHostAndLeavesNothing_KeepsTheSettingsUnlessAsked)
{
    for (const bool removeSettings : {false, true}) {
        SCOPED_TRACE(removeSettings ? "/RemoveSettings" : "settings kept");
        ASSERT_EQ(RunSetup(L"/S"), 0);
        const RunningHost host;
        ASSERT_TRUE(host.process);
        RegSetKeyValueW(HKEY_CURRENT_USER, kSettingsKey, L"Button", REG_SZ, L"xbutton2", sizeof(L"xbutton2"));
        const BYTE turnedOff[12] = {0x03};  // the user's "off" in Settings > Apps > Startup
        RegSetKeyValueW(HKEY_CURRENT_USER, kApprovedKey, L"Tarvel", REG_BINARY, turnedOff, sizeof(turnedOff));

        ASSERT_EQ(Uninstall(removeSettings ? L"/RemoveSettings" : L""), 0);
        EXPECT_TRUE(host.Ended());
        EXPECT_FALSE(FileExists(kDefaultFolder));
        EXPECT_FALSE(FileExists(kShortcut));
        EXPECT_FALSE(Read(kRunKey, L"Tarvel"));
        EXPECT_FALSE(Read(kApprovedKey, L"Tarvel"));
        EXPECT_EQ(Read(kSettingsKey, L"Button").has_value(), !removeSettings);
    }
}

}  // namespace
