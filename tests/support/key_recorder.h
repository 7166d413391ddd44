// Records keyboard input as the desktop sees it: a WH_KEYBOARD_LL hook on a
// thread of its own that pumps messages (low-level hooks are called through
// the installing thread's message loop).  One recorder at a time.
#pragma once

#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <thread>
#include <vector>

struct KeyEvent {
    DWORD vk;
    bool down;
    bool injected;
    std::chrono::steady_clock::time_point when;
};

class KeyRecorder {
public:
    KeyRecorder();   // returns once the hook is installed (or failed)
    ~KeyRecorder();  // removes the hook and ends the thread

    KeyRecorder(const KeyRecorder&) = delete;
    KeyRecorder& operator=(const KeyRecorder&) = delete;

    bool Installed() const { return m_installed; }

    std::vector<KeyEvent> Events() const;
    void Clear();
    // How many events of `vk` in that direction were recorded.
    size_t Count(DWORD vk, bool down) const;
    // Waits until `count` events of `vk` in that direction have been recorded.
    bool WaitFor(DWORD vk, bool down, size_t count, std::chrono::milliseconds limit) const;

private:
    static LRESULT CALLBACK HookProc(int code, WPARAM message, LPARAM data) noexcept;
    void Run();
    void Record(const KBDLLHOOKSTRUCT& key, WPARAM message);
    size_t CountLocked(DWORD vk, bool down) const;

    std::thread m_thread;
    DWORD m_threadId = 0;
    bool m_installed = false;

    mutable std::mutex m_lock;  // guards m_events, m_started, m_threadId and m_installed while starting
    mutable std::condition_variable m_changed;
    bool m_started = false;
    std::vector<KeyEvent> m_events;
};
