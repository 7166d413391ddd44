#include "key_watcher.h"

#include <atomic>
#include <chrono>
#include <string>

namespace {

// The hook procedure gets no context from the system.
std::atomic<KeyWatcher*> g_watcher{nullptr};

bool BeginsWith(const std::vector<KeyStroke>& seen, const std::vector<KeyStroke>& expected)
{
    if (seen.size() < expected.size())
        return false;
    for (size_t i = 0; i < expected.size(); ++i) {
        if (seen[i].vk != expected[i].vk || seen[i].down != expected[i].down)
            return false;
    }
    return true;
}

std::string KeyName(DWORD vk)
{
    switch (vk) {
    case VK_LWIN: return "Windows";
    case VK_TAB: return "Tab";
    case VK_LCONTROL: return "Ctrl";
    case VK_LMENU: return "Alt";
    default: return "key " + std::to_string(vk);
    }
}

}  // namespace

KeyWatcher::KeyWatcher()
{
    g_watcher = this;
    m_hook = std::make_unique<HookThread>(WH_KEYBOARD_LL, &KeyWatcher::HookProc);
}

KeyWatcher::~KeyWatcher()
{
    m_hook.reset();
    g_watcher = nullptr;
}

LRESULT CALLBACK KeyWatcher::HookProc(int code, WPARAM message, LPARAM data) noexcept
{
    KeyWatcher* watcher = g_watcher.load();
    if (code == HC_ACTION && watcher != nullptr) {
        try {
            watcher->Record(*reinterpret_cast<const KBDLLHOOKSTRUCT*>(data), message);
        } catch (...) {
            // Out of memory while recording: the stroke goes unrecorded.
        }
    }
    return CallNextHookEx(nullptr, code, message, data);
}

void KeyWatcher::Record(const KBDLLHOOKSTRUCT& key, WPARAM message)
{
    const bool down = message == WM_KEYDOWN || message == WM_SYSKEYDOWN;
    std::lock_guard<std::mutex> lock(m_mutex);
    m_strokes.push_back({key.vkCode, down});
    m_changed.notify_all();
}

bool KeyWatcher::TakeExactly(const std::vector<KeyStroke>& expected, DWORD timeoutMs, std::string& seen)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                       [&] { return BeginsWith(m_strokes, expected); });
    const bool exact = m_strokes.size() == expected.size() && BeginsWith(m_strokes, expected);
    seen = DescribeKeys(m_strokes);
    m_strokes.clear();
    return exact;
}

std::string DescribeKeys(const std::vector<KeyStroke>& strokes)
{
    if (strokes.empty())
        return "no keys";
    std::string text;
    for (const KeyStroke& stroke : strokes) {
        if (!text.empty())
            text += ", ";
        text += KeyName(stroke.vk) + (stroke.down ? " down" : " up");
    }
    return text;
}
