// Replaces one imported function of one loaded module for the life of the
// object, by rewriting its entry in the module's import address table.  For
// test doubles of platform behaviour that Wine cannot be made to show (a
// failing SysAllocString, a process that refuses to be opened): calls that the
// module makes through its imports reach the replacement, nothing else does.
#pragma once

#include <windows.h>

class ImportPatch {
public:
    // `dllName` is matched without regard to case (e.g. "OLEAUT32.dll").
    ImportPatch(HMODULE module, const char* dllName, const char* functionName, void* replacement);
    // Puts the original function back.
    ~ImportPatch();
    ImportPatch(const ImportPatch&) = delete;
    ImportPatch& operator=(const ImportPatch&) = delete;

    // False when the module does not import that function by name.
    bool Applied() const { return m_slot != nullptr; }
    // The import address table entry, for the same image in another process.
    void** Slot() const { return m_slot; }

    // The function the entry held before, for a replacement that forwards.
    template <typename Function>
    Function Original() const
    {
        return reinterpret_cast<Function>(m_original);
    }

private:
    void** m_slot = nullptr;
    void* m_original = nullptr;
};
