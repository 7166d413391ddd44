// The test host's objects.  Each one makes its counterpart in tarvel-bridge.dll
// (the C++ object in the plug-in's ABI that the plug-in is handed) and answers
// that object's callbacks, counting and recording every call the plug-in makes.
// Thread-safe: a flip is completed on the plug-in's monitor thread, which calls
// them from there.
#pragma once

#include <windows.h>

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "host_bridge.h"

// A device the plug-in can be handed (MacroContext::Device, GetDevice).
class HostDevice {
public:
    virtual ~HostDevice() = default;
    HostDevice(const HostDevice&) = delete;
    HostDevice& operator=(const HostDevice&) = delete;

    TbDevice* Bridge() const { return m_bridge.get(); }

protected:
    HostDevice() = default;
    void Attach(TbDevice* bridge) { m_bridge.reset(bridge); }

private:
    std::unique_ptr<TbDevice, decltype(&TbDestroyDevice)> m_bridge{nullptr, &TbDestroyDevice};
};

// The code a host object's failure carries out of Execute (TbThrewHostError).
inline constexpr int32_t kDeviceGone = 0x6E0;

class FakePointingDevice : public HostDevice {
public:
    // TbPointingOffset puts the device interface behind another base, so the
    // plug-in's dynamic_cast has to move the pointer.
    explicit FakePointingDevice(int setting, TbDeviceLayout layout = TbPointingFirst);

    int GetSetting();
    // 0, or the code of the host error the device throws after taking the value.
    virtual int32_t SetSetting(int value);

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
class FakePlainDevice : public HostDevice {
public:
    FakePlainDevice();
};

class FakeTranslator {
public:
    explicit FakeTranslator(std::wstring text) : m_text(std::move(text)) {}

    // Writes the text; 0 (no host error).
    int32_t Translate(const wchar_t* key, TbText* text);

    // The keys asked for, in order.
    std::vector<std::wstring> Keys() const;

private:
    mutable std::mutex m_lock;  // guards m_keys
    const std::wstring m_text;
    std::vector<std::wstring> m_keys;
};

// An application object the plug-in can be handed (MacroContext::Application).
class HostApplication {
public:
    virtual ~HostApplication() = default;
    HostApplication(const HostApplication&) = delete;
    HostApplication& operator=(const HostApplication&) = delete;

    TbApplication* Bridge() const { return m_bridge.get(); }

protected:
    HostApplication() = default;
    void Attach(TbApplication* bridge) { m_bridge.reset(bridge); }

private:
    std::unique_ptr<TbApplication, decltype(&TbDestroyApplication)> m_bridge{nullptr, &TbDestroyApplication};
};

// An application with one device and no translator that records nothing, for
// loops (soak, benchmarks) whose memory must not grow with the calls.
class OneDeviceApplication : public HostApplication {
public:
    OneDeviceApplication(uint64_t deviceId, TbDevice* device);

private:
    const uint64_t m_deviceId;
    TbDevice* const m_device;
};

class FakeApplication : public HostApplication {
public:
    // Without a translator, the plug-in is told there is none.
    explicit FakeApplication(FakeTranslator* translator = nullptr);

    // Null makes GetDevice answer null for that identifier.
    void AddDevice(uint64_t deviceId, HostDevice* device);
    // The identifiers GetDevice was asked for, in order.
    std::vector<uint64_t> DeviceRequests() const;
    int TranslatorRequests() const;

private:
    TbDevice* GetDevice(uint64_t deviceId);
    void CountTranslatorRequest();

    FakeTranslator* const m_translator;
    mutable std::mutex m_lock;  // guards everything below
    std::map<uint64_t, HostDevice*> m_devices;
    std::vector<uint64_t> m_deviceRequests;
    int m_translatorRequests = 0;
};

// The host's record of a macro run (MacroContext), kept by the bridge; what
// Execute is given.  Objects set here must outlive its use.
class HostContext {
public:
    HostContext();
    HostContext(const HostContext&) = delete;
    HostContext& operator=(const HostContext&) = delete;

    void SetDevice(HostDevice* device) { TbContextSetDevice(Bridge(), device ? device->Bridge() : nullptr); }
    void SetApplication(HostApplication* application)
    {
        TbContextSetApplication(Bridge(), application ? application->Bridge() : nullptr);
    }
    void SetDeviceId(uint64_t deviceId) { TbContextSetDeviceId(Bridge(), deviceId); }
    void SetHostFolder(const std::wstring& folder) { TbContextSetHostFolder(Bridge(), folder.c_str()); }

    TbContext* Bridge() const { return m_bridge.get(); }

private:
    std::unique_ptr<TbContext, decltype(&TbDestroyContext)> m_bridge{nullptr, &TbDestroyContext};
};
