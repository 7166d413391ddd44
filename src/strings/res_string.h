// CResString: the wide string that crosses the boundary between host and plug-in.
//
// Layout.  Byte for byte a release-mode MSVC std::wstring followed by a 32-bit
// Tag (40 bytes): at offset 0 a union of an inline buffer of 8 characters and
// a pointer to the heap buffer, at 16 the length, at 24 the capacity (the
// inline buffer serves while the capacity is 7, the heap beyond that, and a
// heap buffer holds capacity + 1 characters), then Tag at 32.  Hosts built in
// debug mode (_ITERATOR_DEBUG_LEVEL other than 0) have a larger std::wstring
// and cannot exchange strings with the plug-in.
//
// Memory.  Buffers come from the C runtime's malloc and go back to its free,
// where MSVC's operator new and delete end, and blocks of 4096 bytes or more
// follow MSVC's rule for big allocations (39 bytes more, the pointer rounded
// up to 32 bytes, the block's own address stored in the 8 bytes before it).
// So a string's buffer may be freed by either side: the host frees the key
// that the plug-in passes by value to ITranslator::Translate, the plug-in
// frees the translation that the host grew.  A failed allocation throws
// ATL::CAtlException(E_OUTOFMEMORY).
//
// The class is complete in this header and needs no C++ standard library: a
// host builds the strings it hands to the plug-in (MacroContext::HostFolder,
// translations) from it without linking any of the plug-in's code.
//
// A value whose bits 16 to 31 are all zero is not a pointer but the identifier
// of a string resource in the string table of the host process's executable.
// Only construction (and the operator+ that construct) take identifiers.
//
// Two spellings.  The capitalised operations are the plug-in's own and take a
// NUL-terminated text: Assign(text) and Append(text) read up to the first NUL
// and accept null (Assign empties the string, Append changes nothing);
// operator= and operator+= with a text pointer are these.  The lower-case
// ones are the standard wide string's: assign(text, count) and
// append(text, count) copy exactly `count` characters, NULs included, and
// `text` must not be null.  All four accept a pointer into the string's own
// text (Assign of a pointer into it leaves the tail that starts there).
#pragma once

#include <windows.h>

#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

#include "strings/atl_exception.h"

class CResString {
public:
    using size_type = size_t;
    static constexpr size_type npos = static_cast<size_type>(-1);

    CResString() noexcept = default;
    ~CResString() { Free(); }

    // Same text, same Tag.
    CResString(const CResString& other) : Tag(other.Tag) { assign(other.data(), other.size()); }

    // Takes the other's buffer; the other is left empty.
    CResString(CResString&& other) noexcept : Tag(other.Tag)
    {
        memcpy(&m_text, &other.m_text, sizeof(m_text));
        m_size = other.m_size;
        m_capacity = other.m_capacity;
        other.BecomeEmpty();
    }

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
            assign(other.data(), other.size());
        return *this;
    }
    CResString& operator=(const wchar_t* text) { Assign(text); return *this; }
    CResString& operator+=(const wchar_t* text) { Append(text); return *this; }

    // Replaces the text; a pointer into the string's own text (terminator
    // included) leaves the tail that starts there.  Null empties the string.
    void Assign(const wchar_t* text)
    {
        if (text == nullptr)
            clear();
        else
            assign(text, Length(text));  // a tail of its own text never needs to grow
    }

    // Appends the text, which may lie in the string's own text (see append).
    void Append(const wchar_t* text)
    {
        if (text != nullptr)
            append(text, Length(text));
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
        return data();
    }

    // Cuts the string at its first NUL after a write through GetBuffer.
    void ReleaseBuffer() { resize(Length(c_str())); }

    static uint32_t Length(const wchar_t* text)
    {
        return text == nullptr ? 0 : static_cast<uint32_t>(wcslen(text));
    }

    // The module whose string table identifiers refer to: the host process's
    // executable, looked up once.  Every thread that races here stores the
    // same handle, and GetModuleHandleW takes no reference.
    static HMODULE ResourceModule()
    {
        static HMODULE module = nullptr;
        if (module == nullptr)
            module = GetModuleHandleW(nullptr);
        return module;
    }

    // A copy of this string (Tag included) followed by `right` up to its first NUL.
    CResString operator+(const CResString& right) const
    {
        CResString result(*this);
        result.Append(right.c_str());
        return result;
    }

    // The parts of the standard wide string's interface that hosts and the
    // plug-in use, with the standard's meaning (lengths count characters,
    // the terminator not included).
    size_type size() const noexcept { return m_size; }
    size_type length() const noexcept { return m_size; }
    size_type capacity() const noexcept { return m_capacity; }
    bool empty() const noexcept { return m_size == 0; }
    wchar_t* data() noexcept { return IsLarge() ? m_text.pointer : m_text.inline_; }
    const wchar_t* data() const noexcept { return IsLarge() ? m_text.pointer : m_text.inline_; }
    const wchar_t* c_str() const noexcept { return data(); }
    wchar_t& operator[](size_type index) noexcept { return data()[index]; }
    const wchar_t& operator[](size_type index) const noexcept { return data()[index]; }
    bool operator==(const wchar_t* text) const noexcept { return wcscmp(c_str(), text) == 0; }

    void clear() noexcept { SetSize(0); }
    void erase() noexcept { clear(); }

    void reserve(size_type wanted)
    {
        if (wanted > m_capacity)
            Reallocate(GrownCapacity(wanted));
    }

    void resize(size_type count, wchar_t fill = L'\0')
    {
        if (count > m_size) {
            reserve(count);
            wmemset(data() + m_size, fill, count - m_size);
        }
        SetSize(count);
    }

    // Exactly `count` characters from `text` (not null), as the standard's.
    CResString& assign(const wchar_t* text, size_type count)
    {
        if (count > m_capacity)
            Reallocate(GrownCapacity(count), false);
        wmemmove(data(), text, count);  // text may lie in this string
        SetSize(count);
        return *this;
    }

    // Exactly `count` characters from `text` (not null), as the standard's.
    CResString& append(const wchar_t* text, size_type count)
    {
        // Growing frees the old buffer, so text from inside it is copied first.
        if (m_size + count > m_capacity && PointsIntoSelf(text)) {
            CResString copy;
            copy.assign(text, count);
            return append(copy.data(), copy.size());
        }
        reserve(m_size + count);
        wmemmove(data() + m_size, text, count);
        SetSize(m_size + count);
        return *this;
    }

    CResString substr(size_type offset, size_type count = npos) const
    {
        CResString part;
        if (offset < m_size)
            part.assign(data() + offset, count < m_size - offset ? count : m_size - offset);
        return part;
    }

private:
    static constexpr size_type kInlineCapacity = 7;
    // MSVC's operator new for blocks this big and over: aligned to 32 bytes,
    // with the block's own address just before the text.
    static constexpr size_t kBigBlock = 4096;
    static constexpr size_t kBigAlignment = 32;
    static constexpr size_t kBigOverhead = sizeof(void*) + kBigAlignment - 1;

    union Text {
        wchar_t inline_[kInlineCapacity + 1];
        wchar_t* pointer;
    };

    Text m_text{};
    size_type m_size = 0;
    size_type m_capacity = kInlineCapacity;

public:
    // Carried for the host; nothing in the plug-in decides on it.  0 after
    // construction from nothing, a text or an identifier; copy construction
    // copies it; assignment, Assign, Append and LoadFromResource keep the
    // target's; a concatenation takes its left operand's (0 for a pointer).
    int32_t Tag = 0;

private:
    bool IsLarge() const noexcept { return m_capacity > kInlineCapacity; }

    void SetSize(size_type count) noexcept
    {
        m_size = count;
        data()[count] = L'\0';
    }

    void BecomeEmpty() noexcept
    {
        m_capacity = kInlineCapacity;
        m_size = 0;
        m_text.inline_[0] = L'\0';
    }

    // MSVC's growth: the request rounded up to a multiple of 8 less one, and
    // at least half as much again as before.
    size_type GrownCapacity(size_type wanted) const noexcept
    {
        const size_type masked = wanted | kInlineCapacity;
        const size_type grown = m_capacity + m_capacity / 2;
        return masked > grown ? masked : grown;
    }

    static wchar_t* AllocateText(size_type capacity)
    {
        const size_t bytes = (capacity + 1) * sizeof(wchar_t);
        if (bytes < kBigBlock) {
            auto* text = static_cast<wchar_t*>(malloc(bytes));
            if (text == nullptr)
                ATL::AtlThrow(E_OUTOFMEMORY);
            return text;
        }
        void* block = malloc(bytes + kBigOverhead);
        if (block == nullptr)
            ATL::AtlThrow(E_OUTOFMEMORY);
        const uintptr_t aligned = (reinterpret_cast<uintptr_t>(block) + kBigOverhead) & ~(kBigAlignment - 1);
        reinterpret_cast<void**>(aligned)[-1] = block;
        return reinterpret_cast<wchar_t*>(aligned);
    }

    static void FreeText(wchar_t* text, size_type capacity) noexcept
    {
        if ((capacity + 1) * sizeof(wchar_t) >= kBigBlock)
            free(reinterpret_cast<void**>(text)[-1]);
        else
            free(text);
    }

    void Free() noexcept
    {
        if (IsLarge())
            FreeText(m_text.pointer, m_capacity);
        BecomeEmpty();
    }

    // A buffer of `capacity`, keeping the text when `keep` is set.
    void Reallocate(size_type capacity, bool keep = true)
    {
        wchar_t* text = AllocateText(capacity);
        const size_type kept = keep ? m_size : 0;
        wmemcpy(text, data(), kept);
        text[kept] = L'\0';
        if (IsLarge())
            FreeText(m_text.pointer, m_capacity);
        m_text.pointer = text;
        m_capacity = capacity;
        m_size = kept;
    }

    static bool IsResourceId(const wchar_t* value)
    {
        return (reinterpret_cast<uintptr_t>(value) & 0xFFFF0000u) == 0;
    }

    // Inclusive of the terminator: first <= text <= first + length.
    bool PointsIntoSelf(const wchar_t* text) const noexcept
    {
        const auto first = reinterpret_cast<uintptr_t>(data());
        const auto at = reinterpret_cast<uintptr_t>(text);
        return first <= at && at <= first + m_size * sizeof(wchar_t);
    }
};

static_assert(sizeof(CResString) == 40);
static_assert(offsetof(CResString, Tag) == 32);

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
