// Watches the keyboard as the desktop sees it, with a WH_KEYBOARD_LL hook on
// a thread of its own, so that the demonstration can show the keys the
// plug-in synthesises.  One watcher at a time.
#pragma once

#include <windows.h>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "hook_thread.h"

struct KeyStroke {
    DWORD vk;
    bool down;
};

class KeyWatcher {
public:
    KeyWatcher();
    ~KeyWatcher();
    KeyWatcher(const KeyWatcher&) = delete;
    KeyWatcher& operator=(const KeyWatcher&) = delete;

    bool Installed() const { return m_hook && m_hook->Installed(); }

    // Waits up to `timeoutMs` until the strokes seen since the last call begin
    // with `expected`; true when they are exactly `expected`.  `seen` gets
    // them described, and the watcher starts anew.
    bool TakeExactly(const std::vector<KeyStroke>& expected, DWORD timeoutMs, std::string& seen);

private:
    static LRESULT CALLBACK HookProc(int code, WPARAM message, LPARAM data) noexcept;
    void Record(const KBDLLHOOKSTRUCT& key, WPARAM message);

    std::mutex m_mutex;                // guards m_strokes, appended on the hook thread
    std::condition_variable m_changed;  // signalled when m_strokes grows
    std::vector<KeyStroke> m_strokes;
    std::unique_ptr<HookThread> m_hook;  // last member: removed first
};

// "Windows down, Tab down, Tab up" for the transcript.
std::string DescribeKeys(const std::vector<KeyStroke>& strokes);
