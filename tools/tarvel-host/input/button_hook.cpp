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
    std::atomic<DWORD> lastEvent{0};  // written by the hook procedure, read by the watchdog
} g_state;

// Written and read by the hook procedure alone (see press_decision.h); it
// outlives a hook that is installed again, so that a press under way keeps
// its decision.
PressDecisions g_decisions;

void PostPress()
{
    if (HWND window = g_state.window.load())
        PostMessageW(window, g_state.message.load(), 0, 0);
    else
        PostThreadMessageW(g_state.threadId.load(), g_state.message.load(), 0, 0);
}

bool TakesThePress(MouseButton button)
{
    return button == g_state.button.load() && !g_state.paused.load() && !g_state.passThrough.load();
}

// Swallows both halves of the chosen button's click and reports the press.
LRESULT CALLBACK MouseHookProc(int code, WPARAM message, LPARAM data) noexcept
{
    if (code != HC_ACTION)
        return CallNextHookEx(nullptr, code, message, data);
    g_state.lastEvent.store(GetTickCount(), std::memory_order_relaxed);
    ButtonEvent event{};
    if (ReadButtonEvent(message, reinterpret_cast<const MSLLHOOKSTRUCT*>(data)->mouseData, event) &&
        g_decisions.Decide(event, event.down && TakesThePress(event.button))) {
        if (event.down)
            PostPress();
        return 1;
    }
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

ButtonHook::ButtonHook(HWND window, DWORD threadId, UINT message, MouseButton button, bool paused)
{
    g_state.window = window;
    g_state.threadId = threadId;
    g_state.message = message;
    g_state.button = button;
    g_state.paused = paused;
    g_state.passThrough = false;
    g_state.lastEvent = GetTickCount();
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
