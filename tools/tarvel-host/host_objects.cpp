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
    // leave a slow pointer in the user's profile.
    return SystemParametersInfoW(SPI_SETMOUSESPEED, static_cast<UINT>(speed),
                                 reinterpret_cast<void*>(static_cast<intptr_t>(speed)),
                                 SPIF_SENDCHANGE) != FALSE;
}

bool ReleaseHeldWindowsKey()
{
    if ((GetAsyncKeyState(VK_LWIN) & 0x8000) == 0)
        return false;
    keybd_event(VK_LWIN, 0, KEYEVENTF_KEYUP, 0);
    return true;
}

PointerSpeedDevice::PointerSpeedDevice()
    : m_callbacks{this, &OnGetSetting, &OnSetSetting},
      m_device(TbCreatePointingDevice(&m_callbacks, TbPointingFirst))
{
}

int PointerSpeedDevice::GetSetting()
{
    const int speed = ReadPointerSpeed();
    const int setting = speed <= 0 ? 0 : std::clamp((speed + 1) / 2, 1, 10);
    m_readSpeed = speed;
    m_readSetting = setting;
    return setting;
}

void PointerSpeedDevice::SetSetting(int value)
{
    const int setting = std::clamp(value, 1, 10);
    const bool restore = setting == m_readSetting.load() && m_readSpeed.load() > 0;
    WritePointerSpeed(restore ? m_readSpeed.load() : setting * 2);
    m_lowered = !restore;
    m_lastSetValue = value;
    ++m_setCalls;
}

bool PointerSpeedDevice::RestoreIfLowered()
{
    if (!m_lowered.exchange(false) || m_readSpeed.load() <= 0)
        return false;
    return WritePointerSpeed(m_readSpeed.load());
}

int32_t PointerSpeedDevice::OnGetSetting(void* self, int32_t* setting) noexcept
{
    *setting = static_cast<PointerSpeedDevice*>(self)->GetSetting();
    return 0;
}

int32_t PointerSpeedDevice::OnSetSetting(void* self, int32_t setting) noexcept
{
    static_cast<PointerSpeedDevice*>(self)->SetSetting(setting);
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
    return deviceId == MouseId ? m_mouse.Device() : nullptr;
}

std::wstring HostFolder() { return ExecutableFolder() + L"tarvel-host\\"; }

UniqueBridgeContext HostApplication::MakeContext()
{
    return UniqueBridgeContext(
        TbCreateContext(m_mouse.Device(), m_application.get(), MouseId, HostFolder().c_str()));
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
