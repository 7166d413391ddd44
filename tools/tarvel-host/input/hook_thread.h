// Low-level input hooks (WH_MOUSE_LL, WH_KEYBOARD_LL) installed on a thread of
// their own that does nothing but pump messages, so that the system never
// waits on the host's main thread (busy inside the plug-in's Execute) to
// deliver mouse or keyboard input.  The thread runs at a raised priority: a
// hook that answers late even once under load may be removed by Windows
// without notice (LowLevelHooksTimeout).
#pragma once

#include <windows.h>

#include <initializer_list>
#include <thread>
#include <utility>
#include <vector>

class HookThread {
public:
    using Hook = std::pair<int, HOOKPROC>;  // the hook type and its procedure
    // What else lives on the thread (a window that receives input, say):
    // `start` runs once the hooks are in place or have failed, told which,
    // and the thread then pumps messages for it either way; `stop` runs
    // before the hooks are removed.  Both may be null.
    struct Companion {
        void (*start)(bool hooksInstalled);
        void (*stop)();
    };

    // Installs `procedure` for `hookType` on a new thread; Installed() says
    // whether that worked.  The procedure must be noexcept in effect.
    HookThread(int hookType, HOOKPROC procedure) : HookThread({Hook{hookType, procedure}}) {}
    // Installs every hook of `hooks` on one new thread; Installed() is true
    // only when all of them are in place.
    explicit HookThread(std::initializer_list<Hook> hooks, Companion companion = {nullptr, nullptr});
    // Removes the hooks on their own thread and joins it.
    ~HookThread();

    HookThread(const HookThread&) = delete;
    HookThread& operator=(const HookThread&) = delete;

    bool Installed() const { return m_installed; }

private:
    void Run(std::vector<Hook> hooks, Companion companion, HANDLE ready) noexcept;

    bool m_installed = false;  // written by the hook thread before it signals ready
    DWORD m_threadId = 0;      // likewise
    std::thread m_thread;
};
