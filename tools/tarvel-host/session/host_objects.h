// The host objects tarvel-host hands to the plug-in: its application object,
// its translator and the mouse as a pointing device whose setting is the
// system's pointer speed.  The plug-in's C++ objects are MSVC-ABI, so the
// bridge (tarvel-bridge.dll) makes the objects it calls and calls back here.
// The plug-in may call them on its own foreground thread, so what they record
// for the transcript is atomic.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "common/unique_handle.h"
#include "host_bridge.h"

// One owner for each kind of bridge object (wrapped: the bridge's functions
// are imported, so their addresses are not constants).
inline void DestroyBridgeDevice(TbDevice* device) noexcept { TbDestroyDevice(device); }
inline void DestroyBridgeApplication(TbApplication* application) noexcept { TbDestroyApplication(application); }
inline void DestroyBridgeContext(TbContext* context) noexcept { TbDestroyContext(context); }
using UniqueBridgeDevice = UniqueAny<TbDevice*, &DestroyBridgeDevice>;
using UniqueBridgeApplication = UniqueAny<TbApplication*, &DestroyBridgeApplication>;
using UniqueBridgeContext = UniqueAny<TbContext*, &DestroyBridgeContext>;

// A system-wide setting that the plug-in turns down to 1 while a flip shows,
// seen by it as a pointing device's setting from 1 to 10.
struct SystemSetting {
    const char* name;                  // for the host's lines: "pointer speed"
    bool (*read)(unsigned& value);     // false when it cannot be read
    bool (*write)(unsigned value);     // for this session only, never saved to the profile
    int (*toSetting)(unsigned value);  // the plug-in's 1 to 10, or 0 for "leave it alone"
    unsigned (*fromSetting)(int setting);
};
// The pointer speed: settings 1 to 10 stand for speeds 1 to 20.
extern const SystemSetting kPointerSpeedSetting;
// The wheel's scroll lines per notch: settings 1 to 10 are 1 to 10 lines
// (more lines, and a page a notch, read as 10); a wheel that does not scroll
// (0 lines) is left alone.
extern const SystemSetting kWheelLinesSetting;

class SettingDevice {
public:
    explicit SettingDevice(const SystemSetting& setting);
    SettingDevice(const SettingDevice&) = delete;
    SettingDevice& operator=(const SettingDevice&) = delete;

    // The current value as a setting; 0 when it cannot be read.
    int GetSetting();
    // Sets the value for `value` (clamped to 1..10).  Setting back the value
    // that GetSetting returned last restores the exact value read then.
    void SetSetting(int value);

    // Puts back the value of the last GetSetting when the last SetSetting
    // left another one (a flip still shown); true if it did.
    bool RestoreIfLowered();

    int SetCalls() const { return m_setCalls.load(); }
    int LastSetValue() const { return m_lastSetValue.load(); }
    const char* Name() const { return m_setting.name; }
    // The system's value now, for the host's lines; -1 when unreadable.
    long long Current() const;

    // The pointing device the plug-in sees, calling GetSetting and SetSetting.
    TbDevice* Device() const { return m_device.get(); }

private:
    static int32_t OnGetSetting(void* self, int32_t* setting) noexcept;
    static int32_t OnSetSetting(void* self, int32_t setting) noexcept;

    const SystemSetting& m_setting;
    std::atomic<long long> m_readValue{-1};  // the value behind the last GetSetting; -1: none
    std::atomic<int> m_readSetting{0};       // what that GetSetting returned
    std::atomic<int> m_setCalls{0};
    std::atomic<int> m_lastSetValue{0};
    std::atomic<bool> m_lowered{false};  // the last SetSetting was not a restore
    const TbPointingCallbacks m_callbacks;
    UniqueBridgeDevice m_device;  // last: its callbacks reach everything above
};

// The mouse's pointer speed as the plug-in's device.
class PointerSpeedDevice : public SettingDevice {
public:
    PointerSpeedDevice() : SettingDevice(kPointerSpeedSetting) {}
};

// The system's pointer speed, 1 to 20; 0 when it cannot be read.
int ReadPointerSpeed();
// Sets the speed for this session only (not saved to the user's profile).
bool WritePointerSpeed(int speed);

// Answers "HELP_QUICKSWITCH" from tarvel-host's own string table.
class HostTranslator {
public:
    // The text for `key`; false with an empty text for a key it does not know.
    bool Translate(const wchar_t* key, std::wstring& text);
    int Calls() const { return m_calls.load(); }

private:
    std::atomic<int> m_calls{0};
};

class HostApplication {
public:
    // The identifiers under which the host knows its two devices: the mouse's
    // pointer speed and its wheel.  A flip finds its device again by the
    // identifier it started with, so the user may change the choice meanwhile.
    static constexpr uint64_t MouseId = 0x4D4F555345ull;  // "MOUSE"
    static constexpr uint64_t WheelId = 0x574845454Cull;  // "WHEEL"

    HostApplication();
    HostApplication(const HostApplication&) = delete;
    HostApplication& operator=(const HostApplication&) = delete;

    // What the plug-in's GetDevice gets: the mouse for MouseId, the wheel for
    // WheelId, else null.
    TbDevice* GetDevice(uint64_t deviceId) const;

    PointerSpeedDevice& Mouse() { return m_mouse; }
    SettingDevice& Wheel() { return m_wheel; }
    // The device with `deviceId` (the mouse for anything but WheelId).
    SettingDevice& DeviceFor(uint64_t deviceId) { return deviceId == WheelId ? m_wheel : m_mouse; }
    const HostTranslator& Translator() const { return m_translator; }

    // The record of one button press: the device `deviceId`, the application,
    // the identifier and the host's folder with a trailing backslash.
    UniqueBridgeContext MakeContext(uint64_t deviceId = MouseId);

private:
    static TbDevice* OnGetDevice(void* self, uint64_t deviceId) noexcept;
    static int32_t OnTranslate(void* self, const wchar_t* key, TbText* text) noexcept;

    PointerSpeedDevice m_mouse;
    SettingDevice m_wheel{kWheelLinesSetting};
    HostTranslator m_translator;
    const TbApplicationCallbacks m_callbacks;
    UniqueBridgeApplication m_application;  // last: its callbacks reach the members above
};

// The folder the plug-in is told is the host's, with a trailing backslash:
// the subfolder tarvel-host\ of tarvel-host.exe's own, where the plug-in
// finds the app switcher as Pluggins\ZeltoAppSwitcher.exe.  A folder of its
// own, so that the package copied over another host's folder can never
// replace that host's Pluggins\ files.
std::wstring HostFolder();

// The object a host binds to a handler with SetHost: a three-link chain that
// the handler's QueryHost follows down to ProviderValue (made by the bridge,
// in the plug-in's ABI).
inline void DestroyBridgeHostChain(void* chain) noexcept { TbDestroyHostChain(chain); }
class HostServiceChain {
public:
    static constexpr uintptr_t ProviderValue = 0x7A11;

    // What SetHost takes.
    void* Object() const { return m_chain.get(); }

private:
    UniqueAny<void*, &DestroyBridgeHostChain> m_chain{TbCreateHostChain(ProviderValue)};
};

// Binds `handler` to `chain` with SetHost.
void BindHost(void* handler, uintptr_t value, HostServiceChain& chain);
