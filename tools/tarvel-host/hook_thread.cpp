#include "hook_thread.h"

HookThread::HookThread(int hookType, HOOKPROC procedure)
{
    HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (ready == nullptr)
        return;
    m_thread = std::thread(&HookThread::Run, this, hookType, procedure, ready);
    // The thread signals once its hook is in place (or has failed) and its
    // message queue exists, so the WM_QUIT of the destructor cannot be lost.
    WaitForSingleObject(ready, INFINITE);
    CloseHandle(ready);
}

HookThread::~HookThread()
{
    if (!m_thread.joinable())
        return;
    PostThreadMessageW(m_threadId, WM_QUIT, 0, 0);
    m_thread.join();
}

void HookThread::Run(int hookType, HOOKPROC procedure, HANDLE ready) noexcept
{
    MSG message;
    PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);  // makes the queue
    m_threadId = GetCurrentThreadId();
    HHOOK hook = SetWindowsHookExW(hookType, procedure, GetModuleHandleW(nullptr), 0);
    m_installed = hook != nullptr;
    SetEvent(ready);
    if (hook == nullptr)
        return;
    while (GetMessageW(&message, nullptr, 0, 0) > 0)
        DispatchMessageW(&message);
    UnhookWindowsHookEx(hook);
}
