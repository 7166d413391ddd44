// CResString: the wide string that crosses the boundary between host and plug-in.
//
// It is the standard wide string plus a 32-bit Tag, in that order, so host and
// plug-in must share the standard library's string layout (see README).  The
// class is complete in this header: a host builds the strings it hands to the
// plug-in (MacroContext::HostFolder, translations) from it without linking any
// of the plug-in's code.
//
// A value whose bits 16 to 31 are all zero is not a pointer but the identifier
// of a string resource in the string table of the host process's executable.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

class CResString : public std::wstring {
public:
    // Carried for the host; nothing in the plug-in decides on it.
    int32_t Tag = 0;

    CResString() = default;
    CResString(const CResString& other) = default;

    // A text pointer or a string-resource identifier (see above); null gives "".
    CResString(const wchar_t* value)
    {
        if (value == nullptr)
            return;
        if (IsResourceId(value))
            LoadFromResource(static_cast<unsigned>(reinterpret_cast<uintptr_t>(value) & 0xFFFF));
        else
            Assign(value);
    }

    // Copies the text only; the target keeps its Tag.
    CResString& operator=(const CResString& other)
    {
        if (this != &other)
            std::wstring::assign(other);
        return *this;
    }
    CResString& operator=(const wchar_t* text) { Assign(text); return *this; }
    CResString& operator+=(const wchar_t* text) { Append(text); return *this; }

    // Replaces the text; a pointer into the string's own text (terminator
    // included) leaves the tail that starts there.  Null empties the string.
    void Assign(const wchar_t* text)
    {
        if (text == nullptr) {
            clear();
        } else if (PointsIntoSelf(text)) {
            std::wstring tail = substr(static_cast<size_type>(text - data()));
            erase();
            std::wstring::append(tail);
        } else {
            std::wstring::assign(text);
        }
    }

    // Appends the text; a pointer into the string's own text is copied out
    // first when the string must grow, since growing frees the old buffer.
    void Append(const wchar_t* text)
    {
        if (text == nullptr)
            return;
        if (PointsIntoSelf(text) && capacity() <= size() + Length(text)) {
            std::wstring copy(text);
            std::wstring::append(copy);
        } else {
            std::wstring::append(text);
        }
    }

    // Loads entry `identifier` of the host executable's string table straight
    // into this string's buffer.  False when the block is missing or too small
    // (the text is then unchanged) or when the entry is empty or absent.
    bool LoadFromResource(unsigned identifier)
    {
        HMODULE module = ResourceModule();
        HRSRC block = FindResourceW(module, MAKEINTRESOURCEW(((identifier >> 4) + 1) & 0xFFFF),
                                    MAKEINTRESOURCEW(6) /* RT_STRING */);
        if (block == nullptr)
            return false;
        const int units = static_cast<int>(SizeofResource(module, block) / 2);
        if (units == 0)
            return false;
        // The block holds all sixteen strings of the group with their length
        // prefixes, so `units` bounds every entry and the load is never cut.
        const int loaded = LoadStringW(module, identifier, GetBuffer(units), units);
        ReleaseBuffer();
        return loaded != 0;
    }

    // A writable buffer of at least minLength characters (padded with NULs).
    wchar_t* GetBuffer(int minLength = 0)
    {
        if (minLength > 0 && size() < static_cast<size_type>(minLength))
            resize(static_cast<size_type>(minLength), L'\0');
        return &(*this)[0];
    }

    // Cuts the string at its first NUL after a write through GetBuffer.
    void ReleaseBuffer() { resize(Length(c_str())); }

    static uint32_t Length(const wchar_t* text)
    {
        return text == nullptr ? 0 : static_cast<uint32_t>(std::char_traits<wchar_t>::length(text));
    }

    // The module whose string table identifiers refer to: the host process's
    // executable, looked up once.
    static HMODULE ResourceModule()
    {
        static HMODULE module = GetModuleHandleW(nullptr);
        return module;
    }

    // A copy of this string (Tag included) followed by `right` up to its first NUL.
    CResString operator+(const CResString& right) const
    {
        CResString result(*this);
        result.Append(right.c_str());
        return result;
    }

private:
    static bool IsResourceId(const wchar_t* value)
    {
        return (reinterpret_cast<uintptr_t>(value) & 0xFFFF0000u) == 0;
    }

    // Inclusive of the terminator: first <= text <= first + length.
    bool PointsIntoSelf(const wchar_t* text) const
    {
        const wchar_t* first = data();
        return std::less_equal<const wchar_t*>()(first, text) &&
               std::less_equal<const wchar_t*>()(text, first + size());
    }
};

// The left text may be a resource identifier; the result's Tag is 0.
inline CResString operator+(const wchar_t* left, const CResString& right)
{
    CResString result(left);
    result.Append(right.c_str());
    return result;
}

// The right text may be a resource identifier; the result keeps left's Tag.
inline CResString operator+(const CResString& left, const wchar_t* right)
{
    return left.operator+(CResString(right));
}
