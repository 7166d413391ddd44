#include "hook_thread.h"

HookThread::HookThread(std::initializer_list<Hook> hooks, Companion companion)
{
    HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (ready == nullptr)
        return;
    m_thread = std::thread(&HookThread::Run, this, std::vector<Hook>(hooks), companion, ready);
    // The thread signals once its hooks are in place (or have failed) and its
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

void HookThread::Run(std::vector<Hook> hooks, Companion companion, HANDLE ready) noexcept
{
    MSG message;
    PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);  // makes the queue
    m_threadId = GetCurrentThreadId();
    // It only wakes for input and answers at once; ahead of a busy machine's
    // ordinary threads it answers within the system's time limit.
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL);
    std::vector<HHOOK> installed;
    for (const auto& [type, procedure] : hooks) {
        if (HHOOK hook = SetWindowsHookExW(type, procedure, GetModuleHandleW(nullptr), 0))
            installed.push_back(hook);
    }
    m_installed = !installed.empty() && installed.size() == hooks.size();
    if (companion.start != nullptr)
        companion.start(m_installed);
    SetEvent(ready);
    if (m_installed || companion.start != nullptr) {
        while (GetMessageW(&message, nullptr, 0, 0) > 0)
            DispatchMessageW(&message);
    }
    if (companion.stop != nullptr)
        companion.stop();
    for (HHOOK hook : installed)
        UnhookWindowsHookEx(hook);
}
