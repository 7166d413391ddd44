// The test host's objects, handed to the plug-in through MacroContext.  They
// count and record every call the plug-in makes on them.  Thread-safe: a flip
// is completed on the plug-in's monitor thread, which calls them from there.
#pragma once

#include <windows.h>

#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "host/host.h"

class FakePointingDevice : public IPointingDevice {
public:
    explicit FakePointingDevice(int setting) : m_setting(setting) {}

    int GetSetting() override;
    void SetSetting(int value) override;

    int Setting() const;
    int GetCount() const;
    // Every value passed to SetSetting, in order.
    std::vector<int> SetCalls() const;
    // Which thread made the last SetSetting call (0 if none).
    DWORD LastSetThread() const;
    std::chrono::steady_clock::time_point LastSetTime() const;

private:
    mutable std::mutex m_lock;  // guards everything below
    int m_setting;
    int m_getCount = 0;
    std::vector<int> m_setCalls;
    DWORD m_lastSetThread = 0;
    std::chrono::steady_clock::time_point m_lastSetTime{};
};

// A device without the pointing-device interface.
class FakePlainDevice : public IDevice {};

class FakeTranslator : public ITranslator {
public:
    explicit FakeTranslator(std::wstring text) : m_text(std::move(text)) {}
    virtual ~FakeTranslator() = default;

    bool Translate(CResString key, CResString& text) override;

    // The keys asked for, in order.
    std::vector<std::wstring> Keys() const;

private:
    mutable std::mutex m_lock;  // guards m_keys
    const std::wstring m_text;
    std::vector<std::wstring> m_keys;
};

// An application with one device and no translator that records nothing, for
// loops (soak, benchmarks) whose memory must not grow with the calls.
class OneDeviceApplication : public IApplication {
public:
    OneDeviceApplication(uint64_t deviceId, IDevice* device) : m_deviceId(deviceId), m_device(device) {}

    ITranslator* GetTranslator() override { return nullptr; }
    IDevice* GetDevice(uint64_t deviceId) override { return deviceId == m_deviceId ? m_device : nullptr; }

private:
    const uint64_t m_deviceId;
    IDevice* const m_device;
};

class FakeApplication : public IApplication {
public:
    explicit FakeApplication(ITranslator* translator = nullptr) : m_translator(translator) {}
    virtual ~FakeApplication() = default;

    ITranslator* GetTranslator() override;
    IDevice* GetDevice(uint64_t deviceId) override;

    void AddDevice(uint64_t deviceId, IDevice* device);
    // The identifiers GetDevice was asked for, in order.
    std::vector<uint64_t> DeviceRequests() const;
    int TranslatorRequests() const;

private:
    mutable std::mutex m_lock;  // guards everything below
    ITranslator* m_translator;
    std::map<uint64_t, IDevice*> m_devices;
    std::vector<uint64_t> m_deviceRequests;
    int m_translatorRequests = 0;
};
