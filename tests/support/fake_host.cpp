#include "support/fake_host.h"

namespace {

// The bridge's callbacks, which find the recording object through `self`.
int32_t GetSettingCall(void* self, int32_t* setting)
{
    *setting = static_cast<FakePointingDevice*>(self)->GetSetting();
    return 0;
}

int32_t SetSettingCall(void* self, int32_t setting)
{
    return static_cast<FakePointingDevice*>(self)->SetSetting(setting);
}

}  // namespace

FakePointingDevice::FakePointingDevice(int setting, TbDeviceLayout layout) : m_setting(setting)
{
    const TbPointingCallbacks callbacks{this, &GetSettingCall, &SetSettingCall};
    Attach(TbCreatePointingDevice(&callbacks, layout));
}

int FakePointingDevice::GetSetting()
{
    std::lock_guard<std::mutex> hold(m_lock);
    ++m_getCount;
    return m_setting;
}

int32_t FakePointingDevice::SetSetting(int value)
{
    std::lock_guard<std::mutex> hold(m_lock);
    m_setting = value;
    m_setCalls.push_back(value);
    m_lastSetThread = GetCurrentThreadId();
    m_lastSetTime = std::chrono::steady_clock::now();
    return 0;
}

std::chrono::steady_clock::time_point FakePointingDevice::LastSetTime() const
{
    std::lock_guard<std::mutex> hold(m_lock);
    return m_lastSetTime;
}

int FakePointingDevice::Setting() const
{
    std::lock_guard<std::mutex> hold(m_lock);
    return m_setting;
}

int FakePointingDevice::GetCount() const
{
    std::lock_guard<std::mutex> hold(m_lock);
    return m_getCount;
}

std::vector<int> FakePointingDevice::SetCalls() const
{
    std::lock_guard<std::mutex> hold(m_lock);
    return m_setCalls;
}

DWORD FakePointingDevice::LastSetThread() const
{
    std::lock_guard<std::mutex> hold(m_lock);
    return m_lastSetThread;
}

FakePlainDevice::FakePlainDevice() { Attach(TbCreatePlainDevice()); }

int32_t FakeTranslator::Translate(const wchar_t* key, TbText* text)
{
    std::lock_guard<std::mutex> hold(m_lock);
    m_keys.push_back(key);
    TbTextAssign(text, m_text.c_str());
    return 0;
}

std::vector<std::wstring> FakeTranslator::Keys() const
{
    std::lock_guard<std::mutex> hold(m_lock);
    return m_keys;
}

OneDeviceApplication::OneDeviceApplication(uint64_t deviceId, TbDevice* device)
    : m_deviceId(deviceId), m_device(device)
{
    TbApplicationCallbacks callbacks{};
    callbacks.self = this;
    callbacks.GetDevice = [](void* self, uint64_t id) -> TbDevice* {
        auto* application = static_cast<OneDeviceApplication*>(self);
        return id == application->m_deviceId ? application->m_device : nullptr;
    };
    Attach(TbCreateApplication(&callbacks));
}

FakeApplication::FakeApplication(FakeTranslator* translator) : m_translator(translator)
{
    TbApplicationCallbacks callbacks{};
    callbacks.self = this;
    callbacks.GetDevice = [](void* self, uint64_t id) { return static_cast<FakeApplication*>(self)->GetDevice(id); };
    if (translator != nullptr) {
        callbacks.Translate = [](void* self, const wchar_t* key, TbText* text) {
            return static_cast<FakeApplication*>(self)->m_translator->Translate(key, text);
        };
    }
    callbacks.TranslatorRequested = [](void* self) { static_cast<FakeApplication*>(self)->CountTranslatorRequest(); };
    Attach(TbCreateApplication(&callbacks));
}

TbDevice* FakeApplication::GetDevice(uint64_t deviceId)
{
    std::lock_guard<std::mutex> hold(m_lock);
    m_deviceRequests.push_back(deviceId);
    auto found = m_devices.find(deviceId);
    return found == m_devices.end() || found->second == nullptr ? nullptr : found->second->Bridge();
}

void FakeApplication::CountTranslatorRequest()
{
    std::lock_guard<std::mutex> hold(m_lock);
    ++m_translatorRequests;
}

void FakeApplication::AddDevice(uint64_t deviceId, HostDevice* device)
{
    std::lock_guard<std::mutex> hold(m_lock);
    m_devices[deviceId] = device;
}

std::vector<uint64_t> FakeApplication::DeviceRequests() const
{
    std::lock_guard<std::mutex> hold(m_lock);
    return m_deviceRequests;
}

int FakeApplication::TranslatorRequests() const
{
    std::lock_guard<std::mutex> hold(m_lock);
    return m_translatorRequests;
}

HostContext::HostContext() { m_bridge.reset(TbCreateContext(nullptr, nullptr, 0, nullptr)); }
