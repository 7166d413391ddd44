// Loads tarvel.dll the way a host does: LoadLibraryW, then GetProcAddress for
// the four entry points.  Everything the tests do with the plug-in goes
// through these pointers and the handlers' virtual tables.
#pragma once

#include <windows.h>

#include "common/unique_handle.h"
#include "flip/tarvel_handler.h"
#include "macro/macro.h"
#include "plugin/exports.h"

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
    IHandler* CreateTarvel();

private:
    UniqueModule m_module;
};

// The handler's CHandler side (Lock, Unlock, QueryExtraOption): the host
// reaches it from the IHandler pointer by an ordinary conversion.
inline CHandler* AsCHandler(IHandler* handler) { return static_cast<CHandler*>(handler); }

// Owns a handler for a test and ends it with Destroy, as a host does.
class HandlerOwner {
public:
    explicit HandlerOwner(IHandler* handler) : m_handler(handler) {}
    ~HandlerOwner()
    {
        if (m_handler != nullptr)
            static_cast<IInterface*>(m_handler)->Destroy();
    }
    HandlerOwner(const HandlerOwner&) = delete;
    HandlerOwner& operator=(const HandlerOwner&) = delete;

    IHandler* get() const { return m_handler; }
    IHandler* operator->() const { return m_handler; }
    CHandler* handler() const { return AsCHandler(m_handler); }

private:
    IHandler* m_handler;
};
