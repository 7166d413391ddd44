// A slim reader/writer lock used as a plain exclusive lock, and its guard.
// Constant-initialised (SRWLOCK_INIT is all zero), so a global one needs no
// code at load.
#pragma once

#include <windows.h>

class SrwLock {
public:
    void Lock() noexcept { AcquireSRWLockExclusive(&m_lock); }
    void Unlock() noexcept { ReleaseSRWLockExclusive(&m_lock); }

private:
    SRWLOCK m_lock = SRWLOCK_INIT;
};

class SrwGuard {
public:
    explicit SrwGuard(SrwLock& lock) noexcept : m_lock(lock) { m_lock.Lock(); }
    ~SrwGuard() { m_lock.Unlock(); }
    SrwGuard(const SrwGuard&) = delete;
    SrwGuard& operator=(const SrwGuard&) = delete;

private:
    SrwLock& m_lock;
};
