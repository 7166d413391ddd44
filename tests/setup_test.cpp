// The setup program (build/package/tarvel-<version>-setup.exe) run the way a
// script or a package manager runs it, in a Wine prefix of these tests' own
// that never had Tarvel (helpers/setup_prefix.sh makes it for each run).
#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "common/unique_handle.h"
#include "support/foreground_switcher.h"
#include "tray_mode.h"

namespace {

constexpr std::chrono::seconds kGenerous{120};
const wchar_t kUninstallKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tarvel";
const wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const wchar_t kApprovedKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\Run";
const wchar_t kSettingsKey[] = L"Software\\Tarvel";

std::optional<std::wstring> ReadString(const wchar_t* key, const wchar_t* name)
{
    wchar_t text[1024]{};
    DWORD size = sizeof(text);
    if (RegGetValueW(HKEY_CURRENT_USER, key, name, RRF_RT_REG_SZ, nullptr, text, &size) != ERROR_SUCCESS)
        return std::nullopt;
    return std::wstring(text);
}

DWORD ReadDword(const wchar_t* name)
{
    DWORD value = 0;
    DWORD size = sizeof(value);
    RegGetValueW(HKEY_CURRENT_USER, kUninstallKey, name, RRF_RT_REG_DWORD, nullptr, &value, &size);
    return value;
}

bool ValueExists(const wchar_t* key, const wchar_t* name)
{
    return RegGetValueW(HKEY_CURRENT_USER, key, name, RRF_RT_ANY, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

bool KeyExists(const wchar_t* key)
{
    HKEY opened = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, key, 0, KEY_READ, &opened) != ERROR_SUCCESS)
        return false;
    RegCloseKey(opened);
    return true;
}

bool FileExists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::wstring KnownFolder(REFKNOWNFOLDERID id)
{
    wchar_t* path = nullptr;
    SHGetKnownFolderPath(id, 0, nullptr, &path);
    std::wstring folder = path != nullptr ? path : L"";
    CoTaskMemFree(path);
    return folder;
}

const std::wstring kDefaultFolder = KnownFolder(FOLDERID_LocalAppData) + L"\\Programs\\Tarvel";
const std::wstring kShortcut = KnownFolder(FOLDERID_Programs) + L"\\Tarvel.lnk";

// The version record's ProductVersion, in its first language and code page.
std::wstring ProductVersion(const std::wstring& file)
{
    std::vector<BYTE> record(GetFileVersionInfoSizeW(file.c_str(), nullptr) + 1);
    const WORD* language = nullptr;
    void* text = nullptr;
    UINT length = 0;
    if (!GetFileVersionInfoW(file.c_str(), 0, static_cast<DWORD>(record.size()), record.data()) ||
        !VerQueryValueW(record.data(), L"\\VarFileInfo\\Translation", (void**)&language, &length) || length < 4)
        return L"(none)";
    wchar_t query[64];
    swprintf(query, 64, L"\\StringFileInfo\\%04x%04x\\ProductVersion", language[0], language[1]);
    return VerQueryValueW(record.data(), query, &text, &length) ? static_cast<const wchar_t*>(text) : L"(none)";
}

// Runs `command` to its end: its exit code, or -1 when it could not start or
// did not end in time.
int Run(std::wstring command)
{
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION started{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &started))
        return -1;
    const UniqueHandle process(started.hProcess), thread(started.hThread);
    DWORD code = 0;
    if (WaitForSingleObject(process.get(), DWORD(kGenerous.count() * 1000)) != WAIT_OBJECT_0 ||
        !GetExitCodeProcess(process.get(), &code))
        return -1;
    return static_cast<int>(code);
}

int RunSetup(const std::wstring& options)
{
    wchar_t setup[MAX_PATH]{};
    GetFullPathNameW(TARVEL_SETUP, MAX_PATH, setup, nullptr);
    return Run(L"\"" + std::wstring(setup) + L"\" " + options);
}

// The registered quiet uninstall: it hands over to a copy of itself in the
// temporary folder and ends at once; the copy removes the Uninstall key last.
int Uninstall(const std::wstring& options)
{
    const int code = Run(ReadString(kUninstallKey, L"QuietUninstallString").value_or(L"none") + L" " + options);
    return code == 0 && !WaitUntil([] { return !KeyExists(kUninstallKey); }, kGenerous) ? -1 : code;
}

// The instance in the notification area, once its window is there.
struct RunningHost {
    UniqueHandle process;
    DWORD id = 0;
    std::wstring image;
    HWND window = nullptr;
};

// The tooltip, which the instance's window carries as its title.
std::wstring Title(HWND window)
{
    wchar_t title[128]{};
    GetWindowTextW(window, title, ARRAYSIZE(title));
    return title;
}

RunningHost WaitForHost()
{
    RunningHost host;
    WaitUntil([&] { return (host.window = FindWindowW(kTrayWindowClass, nullptr)) != nullptr; }, kGenerous);
    wchar_t text[MAX_PATH]{};
    DWORD size = MAX_PATH;
    GetWindowThreadProcessId(host.window, &host.id);
    host.process.reset(OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, host.id));
    if (host.process && QueryFullProcessImageNameW(host.process.get(), 0, text, &size))
        host.image = text;
    return host;
}

bool Ended(const RunningHost& host)
{
    return WaitForSingleObject(host.process.get(), DWORD(kGenerous.count() * 1000)) == WAIT_OBJECT_0;
}

int CountHostProcesses()
{
    const UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    int count = 0;
    for (BOOL more = Process32FirstW(snapshot.get(), &entry); more; more = Process32NextW(snapshot.get(), &entry))
        count += _wcsicmp(entry.szExeFile, L"tarvel-host.exe") == 0;
    return count;
}

// Each test leaves the prefix as it found it: nothing installed or running
// (a process left behind would hold the test's output open).
class Setup : public ::testing::Test {
protected:
    void TearDown() override
    {
        if (KeyExists(kUninstallKey))
            Uninstall(L"/RemoveSettings");
        if (HWND window = FindWindowW(kTrayWindowClass, nullptr))
            PostMessageW(window, WM_CLOSE, 0, 0);
        WaitUntil([] { return CountHostProcesses() == 0; }, kGenerous);
    }
};

TEST_F(Setup, SilentInstallIntoAFreshPrefix_PutsFilesShortcutAndUninstallKey_AndStartsTheHost)
{
    ASSERT_FALSE(KeyExists(kUninstallKey) || KeyExists(kSettingsKey)) << "the prefix is not fresh";
    ASSERT_EQ(RunSetup(L"/S"), 0);
    const std::wstring host = kDefaultFolder + L"\\tarvel-host.exe";
    for (const wchar_t* file : {L"tarvel-host.exe", L"tarvel-bridge.dll", L"tarvel.dll", L"uninstall.exe"})
        EXPECT_TRUE(FileExists(kDefaultFolder + L"\\" + file)) << file;
    EXPECT_TRUE(FileExists(kShortcut));
    const std::wstring version = ProductVersion(kDefaultFolder + L"\\tarvel.dll");
    EXPECT_EQ(ProductVersion(TARVEL_SETUP), version);
    EXPECT_EQ(ReadString(kUninstallKey, L"DisplayVersion"), version);
    EXPECT_EQ(ReadString(kUninstallKey, L"DisplayName"), L"Tarvel");
    EXPECT_EQ(ReadString(kUninstallKey, L"InstallLocation"), kDefaultFolder);
    EXPECT_EQ(ReadString(kUninstallKey, L"QuietUninstallString"), L"\"" + kDefaultFolder + L"\\uninstall.exe\" /S");
    EXPECT_EQ(ReadDword(L"NoModify") + ReadDword(L"NoRepair"), 2u);
    EXPECT_GT(ReadDword(L"EstimatedSize"), 100u) << "KiB";
    EXPECT_EQ(ReadString(kRunKey, L"Tarvel"), L"\"" + host + L"\" --logon");
    const RunningHost running = WaitForHost();
    ASSERT_TRUE(running.process) << "no icon's window";
    EXPECT_EQ(_wcsicmp(running.image.c_str(), host.c_str()), 0) << running.image;
}

TEST_F(Setup, UpdateWhileTheHostRuns_EndsItAndStartsTheNewOne_InTheSameFolderWithTheSettingsKept)
{
    const std::wstring folder = KnownFolder(FOLDERID_Profile) + L"\\My Tools\\Tarvel";
    ASSERT_EQ(RunSetup(L"/S /D=" + folder), 0);
    const RunningHost old = WaitForHost();
    ASSERT_TRUE(old.process);
    // What the user chose in the menu: another button, not with Windows.
    RegSetKeyValueW(HKEY_CURRENT_USER, kSettingsKey, L"Button", REG_SZ, L"middle", sizeof(L"middle"));
    RegDeleteKeyValueW(HKEY_CURRENT_USER, kRunKey, L"Tarvel");

    ASSERT_EQ(RunSetup(L"/S"), 0);
    ASSERT_TRUE(Ended(old)) << "the running copy was not ended";
    const RunningHost updated = WaitForHost();
    ASSERT_TRUE(updated.process) << "the new copy did not start";
    EXPECT_NE(updated.id, old.id);
    EXPECT_EQ(_wcsicmp(updated.image.c_str(), (folder + L"\\tarvel-host.exe").c_str()), 0) << updated.image;
    EXPECT_TRUE(WaitUntil([&] { return Title(updated.window).find(L"middle button") != std::wstring::npos; }, kGenerous))
        << Title(updated.window);
    EXPECT_EQ(ReadString(kSettingsKey, L"Button"), L"middle");
    EXPECT_FALSE(ValueExists(kRunKey, L"Tarvel")) << "the update turned starting with Windows back on";
    EXPECT_FALSE(FileExists(kDefaultFolder));
}

TEST_F(Setup, SilentUninstall_EndsTheHostAndLeavesNothing_KeepsTheSettingsUnlessAsked)
{
    for (const bool removeSettings : {false, true}) {
        SCOPED_TRACE(removeSettings ? "/RemoveSettings" : "settings kept");
        ASSERT_EQ(RunSetup(L"/S"), 0);
        const RunningHost host = WaitForHost();
        ASSERT_TRUE(host.process);
        RegSetKeyValueW(HKEY_CURRENT_USER, kSettingsKey, L"Button", REG_SZ, L"xbutton2", sizeof(L"xbutton2"));
        const BYTE turnedOff[12] = {0x03};  // the user's "off" in Settings > Apps > Startup
        RegSetKeyValueW(HKEY_CURRENT_USER, kApprovedKey, L"Tarvel", REG_BINARY, turnedOff, sizeof(turnedOff));

        ASSERT_EQ(Uninstall(removeSettings ? L"/RemoveSettings" : L""), 0);
        EXPECT_TRUE(Ended(host));
        EXPECT_EQ(CountHostProcesses(), 0);
        EXPECT_FALSE(FileExists(kDefaultFolder));
        EXPECT_FALSE(FileExists(kShortcut));
        EXPECT_FALSE(ValueExists(kRunKey, L"Tarvel"));
        EXPECT_FALSE(ValueExists(kApprovedKey, L"Tarvel"));
        EXPECT_EQ(ReadString(kSettingsKey, L"Button").has_value(), !removeSettings);
    }
}

}  // namespace
