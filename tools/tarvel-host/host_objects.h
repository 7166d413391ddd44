// The host objects tarvel-host hands to the plug-in: its application object,
// its translator and the mouse as a pointing device whose setting is the
// system's pointer speed.  The plug-in may call them on its own foreground
// thread, so what they record for the transcript is atomic.
#pragma once

#include <atomic>
#include <cstdint>

#include "host/host.h"
#include "macro/macro.h"

// The mouse: settings 1 to 10 stand for the system's pointer speeds 1 to 20.
class PointerSpeedDevice : public IPointingDevice {
public:
    // The current speed as a setting (speed 1 and 2 give 1, ..., 19 and 20
    // give 10); 0 when the speed cannot be read.
    int GetSetting() override;
    // Sets the speed to twice `value` (clamped to 1..10).  Setting back the
    // value that GetSetting returned last restores the exact speed read then,
    // odd speeds included.
    void SetSetting(int value) override;

    // Puts back the speed of the last GetSetting when the last SetSetting
    // left the pointer at another one (a flip still shown); true if it did.
    bool RestoreIfLowered();

    int SetCalls() const { return m_setCalls.load(); }
    int LastSetValue() const { return m_lastSetValue.load(); }

private:
    std::atomic<int> m_readSpeed{0};    // the speed behind the last GetSetting
    std::atomic<int> m_readSetting{0};  // what that GetSetting returned
    std::atomic<int> m_setCalls{0};
    std::atomic<int> m_lastSetValue{0};
    std::atomic<bool> m_lowered{false};  // the last SetSetting was not a restore
};

// The system's pointer speed, 1 to 20; 0 when it cannot be read.
int ReadPointerSpeed();
// Sets the speed for this session only (not saved to the user's profile).
bool WritePointerSpeed(int speed);

// A flip still shown when the host ends leaves the Windows key held by the
// plug-in, and nothing would release it once the plug-in is gone: releases
// it if it is down; true if it was.
bool ReleaseHeldWindowsKey();

// Answers "HELP_QUICKSWITCH" from tarvel-host's own string table.
class HostTranslator : public ITranslator {
public:
    bool Translate(CResString key, CResString& text) override;
    int Calls() const { return m_calls.load(); }

private:
    std::atomic<int> m_calls{0};
};

class HostApplication : public IApplication {
public:
    // The identifier under which the host knows its one device, the mouse.
    static constexpr uint64_t MouseId = 0x4D4F555345ull;  // "MOUSE"

    ITranslator* GetTranslator() override { return &m_translator; }
    IDevice* GetDevice(uint64_t deviceId) override;

    PointerSpeedDevice& Mouse() { return m_mouse; }
    const HostTranslator& Translator() const { return m_translator; }

    // The record of one button press on the mouse: device, application, its
    // identifier and the host's folder with a trailing backslash.
    MacroContext MakeContext();

private:
    PointerSpeedDevice m_mouse;
    HostTranslator m_translator;
};

// The object a host binds to a handler with SetHost: a three-link chain that
// the handler's QueryHost follows down to ProviderValue.
class HostServiceChain : public IHostObject, IHostService, IHostProvider {
public:
    static constexpr uintptr_t ProviderValue = 0x7A11;

    IHostService* QueryService(uintptr_t, uintptr_t, uintptr_t) override { return this; }
    IHostProvider* GetProvider() override { return this; }
    uintptr_t GetValue() override { return ProviderValue; }

private:
    void Reserved1() override {}
    void Reserved2() override {}
    void Reserved3() override {}
    void Reserved4() override {}
    void Reserved5() override {}
    void Reserved6() override {}
};
