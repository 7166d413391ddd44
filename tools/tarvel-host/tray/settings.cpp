#include "settings.h"

#include <windows.h>

#include "plugin_library.h"

namespace {

const wchar_t kSettingsKey[] = L"Software\\Tarvel";
const wchar_t kNamesKey[] = L"Software\\Tarvel\\Names";
const wchar_t kButtonValue[] = L"Button";
const wchar_t kPausedValue[] = L"Paused";
const wchar_t kDeviceValue[] = L"Slows";
const wchar_t kExcludedValue[] = L"Excluded";
const wchar_t kFullScreenValue[] = L"FullScreenKeepsButton";
const wchar_t kHoldValue[] = L"HoldMs";
const wchar_t kTapValue[] = L"Tap";
const wchar_t kCornersValue[] = L"Corners";
const wchar_t kCornerDwellValue[] = L"CornerMs";
const wchar_t kPauseKeyValue[] = L"PauseKey";
const wchar_t kWheelStepsValue[] = L"WheelSteps";
const wchar_t kDesktopDragValue[] = L"DesktopDrag";

// A value of HKEY_CURRENT_USER\Software\Tarvel of type `type` (REG_SZ or
// REG_MULTI_SZ) as its characters; false when missing or of another type.
bool ReadText(const wchar_t* name, DWORD type, std::wstring& text)
{
    const DWORD flags = type == REG_MULTI_SZ ? RRF_RT_REG_MULTI_SZ : RRF_RT_REG_SZ;
    DWORD size = 0;
    if (RegGetValueW(HKEY_CURRENT_USER, kSettingsKey, name, flags, nullptr, nullptr, &size) != ERROR_SUCCESS)
        return false;
    std::wstring buffer(size / sizeof(wchar_t) + 2, L'\0');
    size = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
    if (RegGetValueW(HKEY_CURRENT_USER, kSettingsKey, name, flags, nullptr, buffer.data(), &size) != ERROR_SUCCESS)
        return false;
    buffer.resize(size / sizeof(wchar_t));
    text = buffer;
    return true;
}

std::vector<std::wstring> SplitList(const std::wstring& list)
{
    std::vector<std::wstring> items;
    for (size_t start = 0; start < list.size();) {
        const size_t end = list.find(L'\0', start);
        const std::wstring item = list.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
        if (!item.empty())
            items.push_back(item);
        if (end == std::wstring::npos)
            break;
        start = end + 1;
    }
    return items;
}

// A time within `range` into `ms`; one outside it gives the nearest, said in
// `problems`.  Left alone when missing (or 0 for the hold, which means none).
void ReadMs(const wchar_t* name, MsRange range, DWORD& ms, std::wstring* problems)
{
    DWORD value = 0;
    DWORD size = sizeof(value);
    if (RegGetValueW(HKEY_CURRENT_USER, kSettingsKey, name, RRF_RT_REG_DWORD, nullptr, &value, &size) !=
            ERROR_SUCCESS ||
        (value == 0 && name == kHoldValue))
        return;
    ms = NearestInRange(value, range);
    if (ms != value && problems != nullptr)
        *problems += std::wstring(name) + L" was " + std::to_wstring(value) + L" ms; Tarvel uses " +
                     std::to_wstring(ms) + L" ms (it takes " + std::to_wstring(range.least) + L" to " +
                     std::to_wstring(range.most) + L").\n";
}

unsigned ParseCorners(const std::vector<std::wstring>& names)
{
    unsigned corners = 0;
    for (const std::wstring& name : names) {
        for (unsigned i = 0; i < 4; ++i) {
            if (CompareStringOrdinal(name.c_str(), -1, kCornerNames[i], -1, TRUE) == CSTR_EQUAL)
                corners |= 1u << i;
        }
    }
    return corners;
}

LSTATUS Write(const wchar_t* name, DWORD type, const void* data, size_t size)
{
    return RegSetKeyValueW(HKEY_CURRENT_USER, kSettingsKey, name, type, data, static_cast<DWORD>(size));
}

// A DWORD 0 or 1 into `flag`; left alone when missing or anything else.
void ReadFlag(const wchar_t* name, bool& flag)
{
    DWORD value = 0;
    DWORD size = sizeof(value);
    if (RegGetValueW(HKEY_CURRENT_USER, kSettingsKey, name, RRF_RT_REG_DWORD, nullptr, &value, &size) ==
            ERROR_SUCCESS &&
        value <= 1)
        flag = value == 1;
}

}  // namespace

TraySettings LoadSettings(std::wstring* problems)
{
    TraySettings settings;
    std::wstring text;
    if (ReadText(kButtonValue, REG_SZ, text))
        ParseMouseButton(text.c_str(), settings.button);  // leaves the default on nonsense
    ReadFlag(kPausedValue, settings.paused);
    ReadFlag(kFullScreenValue, settings.letThroughFullScreen);
    if (ReadText(kDeviceValue, REG_SZ, text) && std::wstring(text.c_str()) == L"pointer")
        settings.device = FlipDevice::Pointer;
    if (ReadText(kExcludedValue, REG_MULTI_SZ, text))
        settings.excluded = SplitList(text);
    ReadMs(kHoldValue, kHoldRange, settings.holdMs, problems);
    if (ReadText(kTapValue, REG_SZ, text))
        settings.tapPrevious = std::wstring(text.c_str()) == L"previous";
    if (ReadText(kCornersValue, REG_MULTI_SZ, text))
        settings.corners = ParseCorners(SplitList(text));
    ReadMs(kCornerDwellValue, kCornerRange, settings.cornerMs, problems);
    if (ReadText(kPauseKeyValue, REG_SZ, text))
        settings.pauseKey = text.c_str();
    ReadFlag(kWheelStepsValue, settings.wheelSteps);
    ReadFlag(kDesktopDragValue, settings.desktopDrag);
    return settings;
}

bool SaveSettings(const TraySettings& settings, std::string& error)
{
    const std::wstring button = MouseButtonKeyword(settings.button);
    const DWORD paused = settings.paused ? 1 : 0;
    const DWORD fullScreen = settings.letThroughFullScreen ? 1 : 0;
    const std::wstring device = settings.device == FlipDevice::Pointer ? L"pointer" : L"wheel";
    std::wstring excluded;
    for (const std::wstring& name : settings.excluded)
        excluded += name + L'\0';
    excluded += L'\0';
    LSTATUS status = Write(kButtonValue, REG_SZ, button.c_str(), (button.size() + 1) * sizeof(wchar_t));
    if (status == ERROR_SUCCESS)
        status = Write(kPausedValue, REG_DWORD, &paused, sizeof(paused));
    if (status == ERROR_SUCCESS)
        status = Write(kDeviceValue, REG_SZ, device.c_str(), (device.size() + 1) * sizeof(wchar_t));
    if (status == ERROR_SUCCESS)
        status = Write(kFullScreenValue, REG_DWORD, &fullScreen, sizeof(fullScreen));
    if (status == ERROR_SUCCESS)
        status = Write(kExcludedValue, REG_MULTI_SZ, excluded.c_str(), excluded.size() * sizeof(wchar_t));
    const std::wstring tap = settings.tapPrevious ? L"previous" : L"button";
    std::wstring corners;
    for (unsigned i = 0; i < 4; ++i) {
        if (settings.corners & (1u << i))
            corners += std::wstring(kCornerNames[i]) + L'\0';
    }
    corners += L'\0';
    if (status == ERROR_SUCCESS)
        status = Write(kHoldValue, REG_DWORD, &settings.holdMs, sizeof(DWORD));
    if (status == ERROR_SUCCESS)
        status = Write(kTapValue, REG_SZ, tap.c_str(), (tap.size() + 1) * sizeof(wchar_t));
    if (status == ERROR_SUCCESS)
        status = Write(kCornersValue, REG_MULTI_SZ, corners.c_str(), corners.size() * sizeof(wchar_t));
    if (status == ERROR_SUCCESS)
        status = Write(kCornerDwellValue, REG_DWORD, &settings.cornerMs, sizeof(DWORD));
    if (status == ERROR_SUCCESS)
        status = Write(kPauseKeyValue, REG_SZ, settings.pauseKey.c_str(),
                       (settings.pauseKey.size() + 1) * sizeof(wchar_t));
    const DWORD wheelSteps = settings.wheelSteps ? 1 : 0;
    const DWORD desktopDrag = settings.desktopDrag ? 1 : 0;
    if (status == ERROR_SUCCESS)
        status = Write(kWheelStepsValue, REG_DWORD, &wheelSteps, sizeof(wheelSteps));
    if (status == ERROR_SUCCESS)
        status = Write(kDesktopDragValue, REG_DWORD, &desktopDrag, sizeof(desktopDrag));
    if (status != ERROR_SUCCESS)
        error = DescribeError(static_cast<DWORD>(status));
    return status == ERROR_SUCCESS;
}

void RememberApplicationName(const std::wstring& file, const std::wstring& name)
{
    if (!file.empty() && !name.empty() && name != file)
        RegSetKeyValueW(HKEY_CURRENT_USER, kNamesKey, file.c_str(), REG_SZ, name.c_str(),
                        static_cast<DWORD>((name.size() + 1) * sizeof(wchar_t)));
}

std::wstring ApplicationName(const std::wstring& file)
{
    wchar_t name[256]{};
    DWORD size = sizeof(name);
    if (RegGetValueW(HKEY_CURRENT_USER, kNamesKey, file.c_str(), RRF_RT_REG_SZ, nullptr, name, &size) !=
            ERROR_SUCCESS ||
        name[0] == L'\0')
        return file;
    return std::wstring(name) + L" (" + file + L")";
}
