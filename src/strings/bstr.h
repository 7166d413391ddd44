// CBstr: the one owner of a platform-allocated (SysAllocString) string.
#pragma once

// clang-format off
#include <windows.h>
#include <oleauto.h>
// clang-format on

#include "strings/atl_exception.h"

class CBstr {
public:
    CBstr() = default;
    ~CBstr() { SysFreeString(Str); }
    CBstr(const CBstr&) = delete;
    CBstr& operator=(const CBstr&) = delete;

    // Frees what is held and holds a fresh copy of `text` (null holds nothing).
    // Raises CAtlException(E_OUTOFMEMORY) when the copy cannot be allocated;
    // the holder is null then.
    CBstr& operator=(const wchar_t* text)
    {
        if (text == Str)
            return *this;
        SysFreeString(Str);
        Str = nullptr;
        if (text != nullptr) {
            Str = SysAllocString(text);
            if (Str == nullptr)
                ATL::AtlThrow(E_OUTOFMEMORY);
        }
        return *this;
    }

    operator BSTR() const noexcept { return Str; }

    // For a function that stores a new string: whatever was held is freed
    // first, since the store would not free it.
    BSTR* operator&() noexcept
    {
        Empty();
        return &Str;
    }

    [[nodiscard]] BSTR Detach() noexcept
    {
        BSTR held = Str;
        Str = nullptr;
        return held;
    }

    void Empty() noexcept
    {
        SysFreeString(Str);
        Str = nullptr;
    }

    bool operator!() const noexcept { return Str == nullptr; }

    BSTR Str = nullptr;
};
