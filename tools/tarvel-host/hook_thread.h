// A low-level input hook (WH_MOUSE_LL or WH_KEYBOARD_LL) installed on a thread
// of its own that does nothing but pump messages, so that the system never
// waits on the host's main thread (busy inside the plug-in's Execute) to
// deliver mouse or keyboard input.
#pragma once

#include <windows.h>

#include <thread>

class HookThread {
public:
    // Installs `procedure` for `hookType` on a new thread; Installed() says
    // whether that worked.  The procedure must be noexcept in effect.
    HookThread(int hookType, HOOKPROC procedure);
    // Removes the hook on its own thread and joins it.
    ~HookThread();

    HookThread(const HookThread&) = delete;
    HookThread& operator=(const HookThread&) = delete;

    bool Installed() const { return m_installed; }

private:
    void Run(int hookType, HOOKPROC procedure, HANDLE ready) noexcept;

    bool m_installed = false;  // written by the hook thread before it signals ready
    DWORD m_threadId = 0;      // likewise
    std::thread m_thread;
};
