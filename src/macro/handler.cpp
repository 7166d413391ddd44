#include "macro/macro.h"

CHandler::CHandler()
    : Mutex(CreateMutexW(nullptr, FALSE, nullptr))
{
}

CHandler::~CHandler()
{
    if (Mutex != nullptr)
        CloseHandle(Mutex);
}

bool CHandler::QueryOption() { return false; }

int32_t CHandler::GetKind() { return 1; }

void CHandler::SetHost(uintptr_t value, void* hostObject)
{
    HostValue = value;
    HostObject = hostObject;
}

uintptr_t CHandler::GetHostValue() { return static_cast<uintptr_t>(HostValue); }

void CHandler::Reset() {}

uintptr_t CHandler::QueryHost(uintptr_t first, uintptr_t second, uintptr_t third)
{
    auto* host = static_cast<IHostObject*>(HostObject);
    if (host == nullptr)
        return 0;
    IHostService* service = host->QueryService(first, second, third);
    if (service == nullptr)
        return 0;
    IHostProvider* provider = service->GetProvider();
    if (provider == nullptr)
        return 0;
    return provider->GetValue();
}

bool CHandler::QueryExtraOption() { return false; }

bool CHandler::Lock()
{
    // A null mutex makes the wait fail at once, which answers false.
    const DWORD outcome = WaitForSingleObject(Mutex, 2000);
    return outcome == WAIT_OBJECT_0 || outcome == WAIT_ABANDONED;
}

bool CHandler::Unlock()
{
    ReleaseMutex(Mutex);
    return true;
}
