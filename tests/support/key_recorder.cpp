#include "support/key_recorder.h"

#include <algorithm>

namespace {

// The hook procedure gets no context from the platform.
KeyRecorder* g_recorder = nullptr;

}  // namespace

KeyRecorder::KeyRecorder()
{
    g_recorder = this;
    m_thread = std::thread([this] { Run(); });
    std::unique_lock<std::mutex> hold(m_lock);
    m_changed.wait(hold, [this] { return m_started; });
}

KeyRecorder::~KeyRecorder()
{
    DWORD threadId;
    {
        std::lock_guard<std::mutex> hold(m_lock);
        threadId = m_threadId;
    }
    PostThreadMessageW(threadId, WM_QUIT, 0, 0);
    m_thread.join();
    g_recorder = nullptr;
}

void KeyRecorder::Run()
{
    MSG message;
    // Makes the thread's message queue before anyone posts to it.
    PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);
    HHOOK hook = SetWindowsHookExW(WH_KEYBOARD_LL, HookProc, GetModuleHandleW(nullptr), 0);
    {
        std::lock_guard<std::mutex> hold(m_lock);
        m_threadId = GetCurrentThreadId();
        m_installed = hook != nullptr;
        m_started = true;
    }
    m_changed.notify_all();
    if (hook == nullptr)
        return;
    while (GetMessageW(&message, nullptr, 0, 0) > 0)
        DispatchMessageW(&message);
    UnhookWindowsHookEx(hook);
}

LRESULT CALLBACK KeyRecorder::HookProc(int code, WPARAM message, LPARAM data) noexcept
{
    if (code == HC_ACTION && g_recorder != nullptr) {
        try {
            g_recorder->Record(*reinterpret_cast<const KBDLLHOOKSTRUCT*>(data), message);
        } catch (...) {
            // Out of memory while recording: the event is lost, the input goes on.
        }
    }
    return CallNextHookEx(nullptr, code, message, data);
}

void KeyRecorder::Record(const KBDLLHOOKSTRUCT& key, WPARAM message)
{
    const bool down = message == WM_KEYDOWN || message == WM_SYSKEYDOWN;
    {
        std::lock_guard<std::mutex> hold(m_lock);
        m_events.push_back({key.vkCode, down, (key.flags & LLKHF_INJECTED) != 0,
                            std::chrono::steady_clock::now()});
    }
    m_changed.notify_all();
}

std::vector<KeyEvent> KeyRecorder::Events() const
{
    std::lock_guard<std::mutex> hold(m_lock);
    return m_events;
}

void KeyRecorder::Clear()
{
    std::lock_guard<std::mutex> hold(m_lock);
    m_events.clear();
}

size_t KeyRecorder::CountLocked(DWORD vk, bool down) const
{
    return static_cast<size_t>(std::count_if(m_events.begin(), m_events.end(),
        [&](const KeyEvent& event) { return event.vk == vk && event.down == down; }));
}

size_t KeyRecorder::Count(DWORD vk, bool down) const
{
    std::lock_guard<std::mutex> hold(m_lock);
    return CountLocked(vk, down);
}

bool KeyRecorder::WaitFor(DWORD vk, bool down, size_t count, std::chrono::milliseconds limit) const
{
    std::unique_lock<std::mutex> hold(m_lock);
    return m_changed.wait_for(hold, limit, [&] { return CountLocked(vk, down) >= count; });
}
