// One owner per kind of platform handle: move-only, closes what it holds on
// destruction and on reset.  Empty means null.
#pragma once

#include <windows.h>

template <typename T, auto Close>
class UniqueAny {
public:
    UniqueAny() noexcept = default;
    explicit UniqueAny(T value) noexcept : m_value(value) {}
    ~UniqueAny() { reset(); }

    UniqueAny(UniqueAny&& other) noexcept : m_value(other.release()) {}
    UniqueAny& operator=(UniqueAny&& other) noexcept
    {
        if (this != &other)
            reset(other.release());
        return *this;
    }
    UniqueAny(const UniqueAny&) = delete;
    UniqueAny& operator=(const UniqueAny&) = delete;

    T get() const noexcept { return m_value; }
    explicit operator bool() const noexcept { return m_value != T{}; }

    // Closes what is held (keeping the caller's last error) and holds `value`.
    void reset(T value = T{}) noexcept
    {
        if (m_value != T{}) {
            const DWORD lastError = GetLastError();
            Close(m_value);
            SetLastError(lastError);
        }
        m_value = value;
    }

    [[nodiscard]] T release() noexcept
    {
        T held = m_value;
        m_value = T{};
        return held;
    }

    // For an out-parameter: closes what is held and hands out the slot.
    T* put() noexcept
    {
        reset();
        return &m_value;
    }

private:
    T m_value{};
};

using UniqueHandle = UniqueAny<HANDLE, &::CloseHandle>;
using UniqueModule = UniqueAny<HMODULE, &::FreeLibrary>;
using UniqueWinEventHook = UniqueAny<HWINEVENTHOOK, &::UnhookWinEvent>;

// A timer set without a window belongs to the thread that set it; only that
// thread may kill it, so an owner of one lives and is reset on that thread.
inline void KillThreadTimer(UINT_PTR timerId) noexcept
{
    KillTimer(nullptr, timerId);
}
using UniqueThreadTimer = UniqueAny<UINT_PTR, &KillThreadTimer>;
