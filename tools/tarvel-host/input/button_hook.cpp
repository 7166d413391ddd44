#include "button_hook.h"

#include <atomic>
#include <cwctype>

namespace {

// What the hook procedure reads on the hook thread while the main thread may
// change it: each field atomic on its own, since the hook only ever needs
// one consistent value of each (a press seen with the old button is harmless).
struct HookState {
    std::atomic<HWND> window{nullptr};
    std::atomic<DWORD> threadId{0};
    std::atomic<UINT> message{0};
    std::atomic<MouseButton> button{MouseButton::XButton1};
    std::atomic<bool> paused{false};
    std::atomic<bool> passThrough{false};
    std::atomic<DWORD> lastEvent{0};  // written by the hook procedures, read by the watchdog
} g_state;

bool IsChosenButton(WPARAM message, const MSLLHOOKSTRUCT& data, bool& down)
{
    switch (g_state.button.load()) {
    case MouseButton::Middle:
        down = message == WM_MBUTTONDOWN;
        return message == WM_MBUTTONDOWN || message == WM_MBUTTONUP;
    case MouseButton::XButton1:
    case MouseButton::XButton2: {
        const WORD wanted = g_state.button.load() == MouseButton::XButton1 ? XBUTTON1 : XBUTTON2;
        down = message == WM_XBUTTONDOWN;
        return (message == WM_XBUTTONDOWN || message == WM_XBUTTONUP) && HIWORD(data.mouseData) == wanted;
    }
    }
    return false;
}

void PostPress()
{
    if (HWND window = g_state.window.load())
        PostMessageW(window, g_state.message.load(), 0, 0);
    else
        PostThreadMessageW(g_state.threadId.load(), g_state.message.load(), 0, 0);
}

// Swallows both halves of the chosen button's click and reports the press.
LRESULT CALLBACK MouseHookProc(int code, WPARAM message, LPARAM data) noexcept
{
    if (code == HC_ACTION)
        g_state.lastEvent.store(GetTickCount(), std::memory_order_relaxed);
    bool down = false;
    if (code == HC_ACTION && !g_state.paused.load() && !g_state.passThrough.load() &&
        IsChosenButton(message, *reinterpret_cast<const MSLLHOOKSTRUCT*>(data), down)) {
        if (down)
            PostPress();
        return 1;
    }
    return CallNextHookEx(nullptr, code, message, data);
}

// Only notes the time: the watchdog compares it with the system's last input.
LRESULT CALLBACK KeyboardStampProc(int code, WPARAM message, LPARAM data) noexcept
{
    if (code == HC_ACTION)
        g_state.lastEvent.store(GetTickCount(), std::memory_order_relaxed);
    return CallNextHookEx(nullptr, code, message, data);
}

}  // namespace

bool ParseMouseButton(const std::wstring& text, MouseButton& button)
{
    std::wstring lower;
    for (wchar_t c : text)
        lower += static_cast<wchar_t>(std::towlower(c));
    for (MouseButton candidate : {MouseButton::XButton1, MouseButton::XButton2, MouseButton::Middle}) {
        if (lower == MouseButtonKeyword(candidate)) {
            button = candidate;
            return true;
        }
    }
    return false;
}

const wchar_t* MouseButtonKeyword(MouseButton button)
{
    switch (button) {
    case MouseButton::XButton1: return L"xbutton1";
    case MouseButton::XButton2: return L"xbutton2";
    case MouseButton::Middle: return L"middle";
    }
    return L"?";
}

const char* MouseButtonName(MouseButton button)
{
    switch (button) {
    case MouseButton::XButton1: return "xbutton1";
    case MouseButton::XButton2: return "xbutton2";
    case MouseButton::Middle: return "middle";
    }
    return "?";
}

const wchar_t* MouseButtonDescription(MouseButton button)
{
    switch (button) {
    case MouseButton::XButton1: return L"first side button";
    case MouseButton::XButton2: return L"second side button";
    case MouseButton::Middle: return L"middle button";
    }
    return L"?";
}

ButtonHook::ButtonHook(HWND window, DWORD threadId, UINT message, MouseButton button, bool paused,
                       bool watchKeyboard)
{
    g_state.window = window;
    g_state.threadId = threadId;
    g_state.message = message;
    g_state.button = button;
    g_state.paused = paused;
    g_state.passThrough = false;
    g_state.lastEvent = GetTickCount();
    if (watchKeyboard)
        m_thread = std::make_unique<HookThread>(std::initializer_list<HookThread::Hook>{
            {WH_MOUSE_LL, MouseHookProc}, {WH_KEYBOARD_LL, KeyboardStampProc}});
    else
        m_thread = std::make_unique<HookThread>(WH_MOUSE_LL, MouseHookProc);
}

ButtonHook::~ButtonHook()
{
    m_thread.reset();
    g_state.window = nullptr;
    g_state.threadId = 0;
}

void ButtonHook::SetButton(MouseButton button) { g_state.button = button; }

void ButtonHook::SetPaused(bool paused) { g_state.paused = paused; }

void ButtonHook::SetPassThrough(bool passThrough) { g_state.passThrough = passThrough; }

DWORD ButtonHook::LastEventTick() const { return g_state.lastEvent.load(std::memory_order_relaxed); }
