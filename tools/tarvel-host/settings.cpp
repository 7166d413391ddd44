#include "settings.h"

#include <vector>


namespace {

const wchar_t kSettingsKey[] = L"Software\\Tarvel";
const wchar_t kButtonValue[] = L"Button";
const wchar_t kPausedValue[] = L"Paused";
const wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const wchar_t kRunValue[] = L"Tarvel";

// A string value of HKEY_CURRENT_USER\`key`; false when missing or not text.
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

bool WriteValue(const wchar_t* key, const wchar_t* name, DWORD type, const void* data, DWORD size)
{
    return RegSetKeyValueW(HKEY_CURRENT_USER, key, name, type, data, size) == ERROR_SUCCESS;
}

bool WriteString(const wchar_t* key, const wchar_t* name, const std::wstring& text)
{
    return WriteValue(key, name, REG_SZ, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

// This executable's full path, quoted, whatever the file is called.
std::wstring RunCommand()
{
    std::wstring path(MAX_PATH, L'\0');
    DWORD length = 0;
    while ((length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()))) >= path.size())
        path.resize(path.size() * 2);
    path.resize(length);
    return L"\"" + path + L"\"";
}

bool EqualIgnoringCase(const std::wstring& a, const std::wstring& b)
{
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()),
                                TRUE) == CSTR_EQUAL;
}

}  // namespace

TraySettings LoadSettings()
{
    TraySettings settings;
    std::wstring button;
    if (ReadString(kSettingsKey, kButtonValue, button))
        ParseMouseButton(button, settings.button);  // leaves the default on nonsense
    DWORD paused = 0;
    DWORD size = sizeof(paused);
    if (RegGetValueW(HKEY_CURRENT_USER, kSettingsKey, kPausedValue, RRF_RT_REG_DWORD, nullptr, &paused, &size) ==
            ERROR_SUCCESS &&
        paused <= 1)
        settings.paused = paused == 1;
    return settings;
}

bool SaveSettings(const TraySettings& settings)
{
    const DWORD paused = settings.paused ? 1 : 0;
    return WriteString(kSettingsKey, kButtonValue, MouseButtonKeyword(settings.button)) &&
           WriteValue(kSettingsKey, kPausedValue, REG_DWORD, &paused, sizeof(paused));
}

bool AutostartEnabled()
{
    std::wstring command;
    return ReadString(kRunKey, kRunValue, command) && EqualIgnoringCase(command, RunCommand());
}

bool SetAutostart(bool on)
{
    if (on)
        return WriteString(kRunKey, kRunValue, RunCommand());
    const LSTATUS status = RegDeleteKeyValueW(HKEY_CURRENT_USER, kRunKey, kRunValue);
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}
