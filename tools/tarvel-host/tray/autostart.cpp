#include "autostart.h"

#include <windows.h>

#include <vector>

namespace {

const wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
// Where Settings and Task Manager record "off": 12 bytes, the first odd
// (0x03, 0x07) when disabled, even (0x02, 0x06) when enabled.
const wchar_t kApprovedKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\Run";
const wchar_t kValue[] = L"Tarvel";
// What the setup program writes (tools/setup/tarvel.nsi).
const wchar_t kUninstallKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tarvel";

// A REG_SZ value under HKEY_CURRENT_USER; false when there is none.
bool ReadString(const wchar_t* key, const wchar_t* name, std::wstring& text)
{
    DWORD size = 0;
    if (RegGetValueW(HKEY_CURRENT_USER, key, name, RRF_RT_REG_SZ, nullptr, nullptr, &size) != ERROR_SUCCESS)
        return false;
    std::vector<wchar_t> buffer(size / sizeof(wchar_t) + 1);
    size = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
    if (RegGetValueW(HKEY_CURRENT_USER, key, name, RRF_RT_REG_SZ, nullptr, buffer.data(), &size) != ERROR_SUCCESS)
        return false;
    text = buffer.data();
    return true;
}

bool ReadRunValue(std::wstring& command) { return ReadString(kRunKey, kValue, command); }

// The program a command line starts: the quoted text, or the first word.
std::wstring ProgramOf(const std::wstring& command)
{
    if (!command.empty() && command[0] == L'"') {
        const size_t end = command.find(L'"', 1);
        return end == std::wstring::npos ? std::wstring() : command.substr(1, end - 1);
    }
    return command.substr(0, command.find(L' '));
}

// The folder of a program's path, without the trailing backslash.
std::wstring FolderOf(const std::wstring& program) { return program.substr(0, program.find_last_of(L'\\')); }

// How messages name the copy `program`: "the installed Tarvel (in FOLDER)"
// or "the Tarvel in FOLDER".
std::wstring DescribeCopy(const std::wstring& program, const std::wstring& installedFolder)
{
    if (IsInstalledCopy(program, installedFolder))
        return L"the installed Tarvel (in " + FolderOf(program) + L")";
    return L"the Tarvel in " + FolderOf(program);
}

bool DisabledByWindows()
{
    BYTE record[12]{};
    DWORD size = sizeof(record);
    const LSTATUS status =
        RegGetValueW(HKEY_CURRENT_USER, kApprovedKey, kValue, RRF_RT_REG_BINARY, nullptr, record, &size);
    return status == ERROR_SUCCESS && size >= 1 && (record[0] & 1) != 0;
}

bool DeleteValue(const wchar_t* key)
{
    const LSTATUS status = RegDeleteKeyValueW(HKEY_CURRENT_USER, key, kValue);
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND || status == ERROR_PATH_NOT_FOUND;
}

}  // namespace

std::wstring AutostartCommand(const std::wstring& program) { return L"\"" + program + L"\" --logon"; }

bool AutostartEnabled(const std::wstring& program)
{
    std::wstring command;
    return ReadRunValue(command) && SamePath(ProgramOf(command), program) && !DisabledByWindows();
}

bool SetAutostart(bool on, const std::wstring& program)
{
    if (!on)
        return DeleteValue(kRunKey) && DeleteValue(kApprovedKey);
    const std::wstring command = AutostartCommand(program);
    const DWORD size = static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t));
    return RegSetKeyValueW(HKEY_CURRENT_USER, kRunKey, kValue, REG_SZ, command.c_str(), size) == ERROR_SUCCESS &&
           DeleteValue(kApprovedKey);
}

bool SamePath(const std::wstring& a, const std::wstring& b)
{
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()),
                                TRUE) == CSTR_EQUAL;
}

std::wstring InstalledFolder()
{
    std::wstring folder;
    return ReadString(kUninstallKey, L"InstallLocation", folder) ? folder : std::wstring();
}

bool IsInstalledCopy(const std::wstring& program, const std::wstring& installedFolder)
{
    return !installedFolder.empty() && SamePath(FolderOf(program), FolderOf(installedFolder + L"\\"));
}

std::wstring AutostartTakeover(const std::wstring& program, const std::wstring& runProgram,
                               const std::wstring& installedFolder)
{
    std::wstring text;
    if (!runProgram.empty() && !SamePath(runProgram, program))
        text = L"Windows now starts " + DescribeCopy(program, installedFolder) + L" when you log on, in place of " +
               DescribeCopy(runProgram, installedFolder) + L".";
    if (!installedFolder.empty() && !IsInstalledCopy(program, installedFolder))
        text += std::wstring(text.empty() ? L"" : L"\n\n") +
                L"All copies of Tarvel share this one entry: updating or uninstalling the installed Tarvel (in " +
                FolderOf(installedFolder + L"\\") + L") removes it.";
    return text;
}

std::wstring AutostartTakeover(const std::wstring& program)
{
    std::wstring command;
    return AutostartTakeover(program, ReadRunValue(command) ? ProgramOf(command) : std::wstring(), InstalledFolder());
}

std::wstring ThisProgram()
{
    std::wstring path(MAX_PATH, L'\0');
    DWORD length = 0;
    while ((length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()))) >= path.size())
        path.resize(path.size() * 2);
    path.resize(length);
    return path;
}
