#include "support/import_patch.h"

#include <string.h>

namespace {

template <typename T>
T* AtOffset(HMODULE module, DWORD offset)
{
    return reinterpret_cast<T*>(reinterpret_cast<BYTE*>(module) + offset);
}

// The import address table slot through which `module` calls dllName!functionName.
void** FindImportSlot(HMODULE module, const char* dllName, const char* functionName)
{
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(module);
    const auto* nt = AtOffset<const IMAGE_NT_HEADERS>(module, dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (imports.VirtualAddress == 0)
        return nullptr;
    for (auto* descriptor = AtOffset<IMAGE_IMPORT_DESCRIPTOR>(module, imports.VirtualAddress);
         descriptor->Name != 0; ++descriptor) {
        if (_stricmp(AtOffset<const char>(module, descriptor->Name), dllName) != 0)
            continue;
        auto* names = AtOffset<IMAGE_THUNK_DATA>(module, descriptor->OriginalFirstThunk);
        auto* slots = AtOffset<IMAGE_THUNK_DATA>(module, descriptor->FirstThunk);
        for (; names->u1.AddressOfData != 0; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal))
                continue;
            const auto* byName = AtOffset<const IMAGE_IMPORT_BY_NAME>(
                module, static_cast<DWORD>(names->u1.AddressOfData));
            if (strcmp(reinterpret_cast<const char*>(byName->Name), functionName) == 0)
                return reinterpret_cast<void**>(&slots->u1.Function);
        }
    }
    return nullptr;
}

// Swaps the slot's content; other threads may be calling through it.
void* Exchange(void** slot, void* value)
{
    DWORD protection = 0;
    if (!VirtualProtect(slot, sizeof(void*), PAGE_READWRITE, &protection))
        return nullptr;
    void* previous = InterlockedExchangePointer(slot, value);
    VirtualProtect(slot, sizeof(void*), protection, &protection);
    return previous;
}

}  // namespace

ImportPatch::ImportPatch(HMODULE module, const char* dllName, const char* functionName, void* replacement)
{
    if (module == nullptr)
        return;
    void** slot = FindImportSlot(module, dllName, functionName);
    if (slot == nullptr)
        return;
    m_original = Exchange(slot, replacement);
    if (m_original != nullptr)
        m_slot = slot;
}

ImportPatch::~ImportPatch()
{
    if (m_slot != nullptr)
        Exchange(m_slot, m_original);
}
