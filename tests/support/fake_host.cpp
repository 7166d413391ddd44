#include "support/fake_host.h"

int FakePointingDevice::GetSetting()
{
    std::lock_guard<std::mutex> hold(m_lock);
    ++m_getCount;
    return m_setting;
}

void FakePointingDevice::SetSetting(int value)
{
    std::lock_guard<std::mutex> hold(m_lock);
    m_setting = value;
    m_setCalls.push_back(value);
    m_lastSetThread = GetCurrentThreadId();
    m_lastSetTime = std::chrono::steady_clock::now();
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

bool FakeTranslator::Translate(CResString key, CResString& text)
{
    std::lock_guard<std::mutex> hold(m_lock);
    m_keys.push_back(key);
    text = m_text.c_str();
    return true;
}

std::vector<std::wstring> FakeTranslator::Keys() const
{
    std::lock_guard<std::mutex> hold(m_lock);
    return m_keys;
}

ITranslator* FakeApplication::GetTranslator()
{
    std::lock_guard<std::mutex> hold(m_lock);
    ++m_translatorRequests;
    return m_translator;
}

IDevice* FakeApplication::GetDevice(uint64_t deviceId)
{
    std::lock_guard<std::mutex> hold(m_lock);
    m_deviceRequests.push_back(deviceId);
    auto found = m_devices.find(deviceId);
    return found == m_devices.end() ? nullptr : found->second;
}

void FakeApplication::AddDevice(uint64_t deviceId, IDevice* device)
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
