#include "host_objects.h"

#include <algorithm>
#include <string_view>

#include "host_strings.h"
#include "plugin_library.h"

int ReadPointerSpeed()
{
    int speed = 0;
    if (!SystemParametersInfoW(SPI_GETMOUSESPEED, 0, &speed, 0))
        return 0;
    return speed;
}

bool WritePointerSpeed(int speed)
{
    // Windows takes the speed in the pointer argument itself, Wine 8 in the
    // integer one (and stores 0 otherwise); each ignores the other, so pass it
    // in both.  No SPIF_UPDATEINIFILE: a host that dies mid-flip must not
    // leave a slow pointer in the user's profile.  No SPIF_SENDCHANGE either:
    // it sends WM_SETTINGCHANGE to every top-level window and waits for each,
    // so one hung window would stall the press; programs read the speed
    // when they need it, none has to be told.
    return SystemParametersInfoW(SPI_SETMOUSESPEED, static_cast<UINT>(speed),
                                 reinterpret_cast<void*>(static_cast<intptr_t>(speed)), 0) != FALSE;
}

namespace {

bool ReadSpeed(unsigned& value)
{
    const int speed = ReadPointerSpeed();
    value = static_cast<unsigned>(speed);
    return speed > 0;
}

bool WriteSpeed(unsigned value) { return WritePointerSpeed(static_cast<int>(value)); }

int SpeedToSetting(unsigned speed) { return speed == 0 ? 0 : std::clamp((static_cast<int>(speed) + 1) / 2, 1, 10); }

unsigned SettingToSpeed(int setting) { return static_cast<unsigned>(setting * 2); }

bool ReadWheelLines(unsigned& value)
{
    UINT lines = 0;
    if (!SystemParametersInfoW(SPI_GETWHEELSCROLLLINES, 0, &lines, 0))
        return false;
    value = lines;
    return true;
}

// Programs that cache the lines (many read them once) are told, but without
// waiting for them: SPIF_SENDCHANGE would wait on every top-level window in
// turn, and a window that no longer answers would stall the press, the menu
// and the end with it.
bool WriteWheelLines(unsigned value)
{
    if (!SystemParametersInfoW(SPI_SETWHEELSCROLLLINES, value, nullptr, 0))
        return false;
    SendNotifyMessageW(HWND_BROADCAST, WM_SETTINGCHANGE, SPI_SETWHEELSCROLLLINES, 0);
    return true;
}

// WHEEL_PAGESCROLL (a page a notch) is the largest value of all.
int LinesToSetting(unsigned lines) { return lines == 0 ? 0 : static_cast<int>(std::min(lines, 10u)); }

unsigned SettingToLines(int setting) { return static_cast<unsigned>(setting); }

}  // namespace

const SystemSetting kPointerSpeedSetting{"pointer speed", &ReadSpeed, &WriteSpeed, &SpeedToSetting,
                                         &SettingToSpeed};
const SystemSetting kWheelLinesSetting{"scroll lines", &ReadWheelLines, &WriteWheelLines, &LinesToSetting,
                                       &SettingToLines};

SettingDevice::SettingDevice(const SystemSetting& setting)
    : m_setting(setting),
      m_callbacks{this, &OnGetSetting, &OnSetSetting},
      m_device(TbCreatePointingDevice(&m_callbacks, TbPointingFirst))
{
}

int SettingDevice::GetSetting()
{
    unsigned value = 0;
    const bool read = m_setting.read(value);
    const int setting = read ? m_setting.toSetting(value) : 0;
    m_readValue = read && setting > 0 ? static_cast<long long>(value) : -1;
    m_readSetting = setting;
    return setting;
}

void SettingDevice::SetSetting(int value)
{
    const int setting = std::clamp(value, 1, 10);
    const long long read = m_readValue.load();
    const bool restore = setting == m_readSetting.load() && read >= 0;
    m_setting.write(restore ? static_cast<unsigned>(read) : m_setting.fromSetting(setting));
    m_lowered = !restore;
    m_lastSetValue = value;
    ++m_setCalls;
}

bool SettingDevice::RestoreIfLowered()
{
    const long long read = m_readValue.load();
    if (!m_lowered.exchange(false) || read < 0)
        return false;
    return m_setting.write(static_cast<unsigned>(read));
}

long long SettingDevice::Current() const
{
    unsigned value = 0;
    return m_setting.read(value) ? static_cast<long long>(value) : -1;
}

int32_t SettingDevice::OnGetSetting(void* self, int32_t* setting) noexcept
{
    *setting = static_cast<SettingDevice*>(self)->GetSetting();
    return 0;
}

int32_t SettingDevice::OnSetSetting(void* self, int32_t setting) noexcept
{
    static_cast<SettingDevice*>(self)->SetSetting(setting);
    return 0;
}

bool HostTranslator::Translate(const wchar_t* key, std::wstring& text)
{
    ++m_calls;
    text.clear();
    if (key == nullptr || std::wstring_view(key) != L"HELP_QUICKSWITCH")
        return false;
    // Length 0 asks for a pointer into the loaded table itself.
    const wchar_t* entry = nullptr;
    const int length = LoadStringW(GetModuleHandleW(nullptr), IDS_HELP_QUICKSWITCH,
                                   reinterpret_cast<wchar_t*>(&entry), 0);
    if (length > 0)
        text.assign(entry, static_cast<size_t>(length));
    return !text.empty();
}

HostApplication::HostApplication()
    : m_callbacks{this, &OnGetDevice, &OnTranslate, nullptr},
      m_application(TbCreateApplication(&m_callbacks))
{
}

TbDevice* HostApplication::GetDevice(uint64_t deviceId) const
{
    if (deviceId == WheelId)
        return m_wheel.Device();
    return deviceId == MouseId ? m_mouse.Device() : nullptr;
}

std::wstring HostFolder() { return ExecutableFolder() + L"tarvel-host\\"; }

UniqueBridgeContext HostApplication::MakeContext(uint64_t deviceId)
{
    const uint64_t id = deviceId == WheelId ? WheelId : MouseId;
    return UniqueBridgeContext(
        TbCreateContext(DeviceFor(id).Device(), m_application.get(), id, HostFolder().c_str()));
}

TbDevice* HostApplication::OnGetDevice(void* self, uint64_t deviceId) noexcept
{
    return static_cast<HostApplication*>(self)->GetDevice(deviceId);
}

int32_t HostApplication::OnTranslate(void* self, const wchar_t* key, TbText* text) noexcept
{
    // An unknown key leaves the text empty; that is an answer, not an error
    // (non-zero would make the bridge throw through the plug-in).
    std::wstring translation;
    static_cast<HostApplication*>(self)->m_translator.Translate(key, translation);
    TbTextAssign(text, translation.c_str());
    return 0;
}

void BindHost(void* handler, uintptr_t value, HostServiceChain& chain) { TbSetHost(handler, value, chain.Object()); }
