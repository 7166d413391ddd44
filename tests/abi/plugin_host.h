// What the cases need to host the real tarvel.dll: the library, an owner for
// its handlers, import patches and a look at the C runtime's heap.
#pragma once

#include <windows.h>

#include <stddef.h>
#include <stdint.h>
#include <string.h>
#include <wchar.h>

#include "common/unique_handle.h"
#include "macro/macro.h"
#include "plugin/exports.h"
#include "support/import_patch.h"

// Exported by ucrtbase, not declared by Wine's headers.
extern "C" __declspec(dllimport) intptr_t __cdecl _get_heap_handle(void);

// tarvel.dll from beside this program, whatever the working folder.
class LoadedPlugin {
public:
    LoadedPlugin() : m_module(Load())
    {
        if (m_module)
            m_create = reinterpret_cast<CreateMacroFunction>(
                reinterpret_cast<void*>(GetProcAddress(m_module.get(), "CreateMacro")));
    }
    explicit operator bool() const { return m_create != nullptr; }
    HMODULE Module() const { return m_module.get(); }
    IHandler* CreateMacro(const wchar_t* name) const { return m_create(name); }

private:
    static HMODULE Load()
    {
        wchar_t path[MAX_PATH];
        const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
        wchar_t* slash = length < MAX_PATH ? wcsrchr(path, L'\\') : nullptr;
        if (slash == nullptr || wcscpy_s(slash + 1, MAX_PATH - (slash + 1 - path), L"tarvel.dll") != 0)
            return nullptr;
        return LoadLibraryW(path);
    }

    UniqueModule m_module;
    CreateMacroFunction m_create = nullptr;
};

// Owns a handler the way a host must: it ends only through Destroy.
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
    explicit operator bool() const { return m_handler != nullptr; }
    IHandler* operator->() const { return m_handler; }
    IHandler* get() const { return m_handler; }
    CHandler* Declared() const { return static_cast<CHandler*>(m_handler); }

private:
    IHandler* m_handler;
};


// The C runtime's own heap (under Wine not the process heap), where both
// sides' malloc and free, and so every CResString buffer, live.
inline HANDLE CrtHeap() { return reinterpret_cast<HANDLE>(_get_heap_handle()); }
inline bool CrtHeapValid() { return HeapValidate(CrtHeap(), 0, nullptr) != FALSE; }

// Calls `visit` for each allocated block, the heap locked meanwhile.
template <typename Visit>
void ForEachCrtBlock(Visit visit)
{
    if (!HeapLock(CrtHeap()))
        return;
    PROCESS_HEAP_ENTRY entry{};
    while (HeapWalk(CrtHeap(), &entry)) {
        if ((entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) != 0)
            visit(entry);
    }
    HeapUnlock(CrtHeap());
}

inline size_t CrtHeapBusyBytes()
{
    size_t total = 0;
    ForEachCrtBlock([&](const PROCESS_HEAP_ENTRY& entry) { total += entry.cbData; });
    return total;
}

// Whether `block` is the start of an allocated block of that heap.
inline bool IsAllocatedCrtBlock(const void* block)
{
    bool found = false;
    ForEachCrtBlock([&](const PROCESS_HEAP_ENTRY& entry) { found = found || entry.lpData == block; });
    return found;
}

inline bool HandleOpen(HANDLE handle)
{
    DWORD flags = 0;
    return GetHandleInformation(handle, &flags) != FALSE;
}

inline bool WindowsKeyDown() { return (GetAsyncKeyState(VK_LWIN) & 0x8000) != 0; }
