#include "host_objects.h"

#include <algorithm>

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

bool HostTranslator::Translate(CResString key, CResString& text)
{
    ++m_calls;
    if (key != L"HELP_QUICKSWITCH") {
        text.clear();
        return false;
    }
    text = CResString(MAKEINTRESOURCEW(IDS_HELP_QUICKSWITCH));
    return !text.empty();
}

IDevice* HostApplication::GetDevice(uint64_t deviceId)
{
    return deviceId == MouseId ? &m_mouse : nullptr;
}

MacroContext HostApplication::MakeContext()
{
    MacroContext context;
    context.Device = &m_mouse;
    context.Application = this;
    context.DeviceId = MouseId;
    context.HostFolder = ExecutableFolder().c_str();
    return context;
}
