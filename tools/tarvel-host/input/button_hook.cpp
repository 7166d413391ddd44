#include "button_hook.h"

#include "hot_corners.h"
#include "press_timing.h"

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

// The press's kind travels as the message's wParam.
void PostPress(press_timing::PressKind kind)
{
    const auto wParam = static_cast<WPARAM>(kind);
    if (HWND window = g_state.window.load())
        PostMessageW(window, g_state.message.load(), wParam, 0);
    else
        PostThreadMessageW(g_state.threadId.load(), g_state.message.load(), wParam, 0);
}

void ReportCorner() { PostPress(press_timing::PressKind::Flip); }

bool PressesWanted() { return !g_state.paused.load() && !g_state.passThrough.load(); }

bool TakesThePress(MouseButton button) { return button == g_state.button.load() && PressesWanted(); }

// Swallows both halves of the chosen button's click, the decision taken at
// its down holding for its up; press_timing decides what the press is (a
// flip at once, a long press, a click sent on, a drag).
LRESULT CALLBACK MouseHookProc(int code, WPARAM message, LPARAM data) noexcept
{
    if (code != HC_ACTION)
        return CallNextHookEx(nullptr, code, message, data);
    g_state.lastEvent.store(GetTickCount(), std::memory_order_relaxed);
    const auto& info = *reinterpret_cast<const MSLLHOOKSTRUCT*>(data);
    if (press_timing::IsReplay(info))
        return CallNextHookEx(nullptr, code, message, data);
    if (message == WM_MOUSEMOVE)
        press_timing::OnMove(info.pt);
    hot_corners::OnMouseEvent(message, info);
    ButtonEvent event{};
    if (ReadButtonEvent(message, info.mouseData, event) &&
        g_decisions.Decide(event, event.down && TakesThePress(event.button))) {
        if (event.down)
            press_timing::OnDown(info, event.button);
        else if (!press_timing::OnUp())
            return CallNextHookEx(nullptr, code, message, data);  // a drag's up
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
    press_timing::Reset(&PostPress);  // no hook thread runs yet
    hot_corners::Reset(&ReportCorner, &PressesWanted);
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
