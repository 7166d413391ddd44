// Loads tarvel.dll the way a host does: LoadLibraryW, then GetProcAddress for
// the four entry points, which are plain C.  The handlers CreateMacro returns
// are C++ objects of the plug-in's ABI: the tests hold them as void* and call
// them through tarvel-bridge.dll.
#pragma once

#include <windows.h>

#include <cstdint>

#include "common/unique_handle.h"
#include "host_bridge.h"

class HostContext;

using InitializeFunction = bool (*)();
using GetCapabilityFunction = int32_t (*)();
using IsMacroSupportedFunction = bool (*)(const wchar_t* name);
using CreateMacroFunction = void* (*)(const wchar_t* name);

class PluginLoader {
public:
    explicit PluginLoader(const wchar_t* path = L"tarvel.dll");

    bool Loaded() const { return static_cast<bool>(m_module); }
    HMODULE Module() const { return m_module.get(); }

    InitializeFunction Initialize = nullptr;
    GetCapabilityFunction GetCapability = nullptr;
    IsMacroSupportedFunction IsMacroSupported = nullptr;
    CreateMacroFunction CreateMacro = nullptr;

    // A new "Tarvel" handler; fails the current test when there is none.
    void* CreateTarvel();

private:
    UniqueModule m_module;
};

// A handler's operations through the bridge.  An exception that leaves the
// plug-in fails the current test, except where the caller asks for it.
namespace bridge {

// Null context: Execute gets a null record.
int32_t Execute(void* handler, HostContext* context);
// The exception, if any, goes to `thrown` and the test decides.
int32_t Execute(void* handler, HostContext* context, TbThrow& thrown);
void Destroy(void* handler);
inline bool Lock(void* handler) { return TbLock(handler) != 0; }
inline bool Unlock(void* handler) { return TbUnlock(handler) != 0; }

}  // namespace bridge

// Owns a handler for a test and ends it with Destroy, as a host does.
class HandlerOwner {
public:
    explicit HandlerOwner(void* handler) : m_handler(handler) {}
    ~HandlerOwner()
    {
        if (m_handler != nullptr)
            bridge::Destroy(m_handler);
    }
    HandlerOwner(const HandlerOwner&) = delete;
    HandlerOwner& operator=(const HandlerOwner&) = delete;

    void* get() const { return m_handler; }

    int32_t Execute(HostContext* context) const { return bridge::Execute(m_handler, context); }
    int32_t Execute(HostContext& context) const { return bridge::Execute(m_handler, &context); }
    bool QueryOption() const { return TbQueryOption(m_handler) != 0; }
    bool QueryExtraOption() const { return TbQueryExtraOption(m_handler) != 0; }
    int32_t GetKind() const { return TbGetKind(m_handler); }
    void SetHost(uintptr_t value, void* hostObject) const { TbSetHost(m_handler, value, hostObject); }
    uintptr_t GetHostValue() const { return TbGetHostValue(m_handler); }
    void Reset() const { TbReset(m_handler); }
    uintptr_t QueryHost(uintptr_t first, uintptr_t second, uintptr_t third) const
    {
        return TbQueryHost(m_handler, first, second, third);
    }
    bool Lock() const { return bridge::Lock(m_handler); }
    bool Unlock() const { return bridge::Unlock(m_handler); }

private:
    void* m_handler;
};
