#include "button_hook.h"

#include "hook_watchdog.h"
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

// The press's kind, or the watchdog's news, travels as the message's wParam.
void Post(WPARAM wParam)
{
    if (HWND window = g_state.window.load())
        PostMessageW(window, g_state.message.load(), wParam, 0);
    else
        PostThreadMessageW(g_state.threadId.load(), g_state.message.load(), wParam, 0);
}

void PostPress(press_timing::PressKind kind) { Post(static_cast<WPARAM>(kind)); }

void ReportCorner() { PostPress(press_timing::PressKind::Flip); }

// The watchdog's side, on the hook thread: a message-only window there
// receives Raw Input of the mouse, so that mouse reports (up to 8,000 a
// second) wake only the thread that the hook wakes anyway, and the main
// thread hears only of a hook that missed input.  Hook thread only; it
// outlives a hook installed again, as g_decisions does.
struct Sink {
    HWND window = nullptr;
    bool hookInstalled = false;
    HookWatchdog watchdog;
    DWORD lastNotInPlace = 0;  // when the main thread was last told so
} g_sink;
// Set by the main thread before a hook thread starts: it replaces one.
bool g_reinstalling = false;

void OnRawInput(HRAWINPUT input)
{
    RAWINPUT raw{};
    UINT size = sizeof(raw);
    if (GetRawInputData(input, RID_INPUT, &raw, &size, sizeof(RAWINPUTHEADER)) == static_cast<UINT>(-1) ||
        !CountsForWatchdog(raw.header.dwType, raw.data.mouse.ulExtraInformation))
        return;
    press_timing::OnRawButtons(raw.data.mouse.usButtonFlags, static_cast<DWORD>(GetMessageTime()));
    const DWORD now = GetTickCount();
    if (!g_sink.hookInstalled) {
        // Asked again as the mouse moves, at most once within the grace.
        if (now - g_sink.lastNotInPlace >= HookWatchdog::kGraceMs) {
            g_sink.lastNotInPlace = now;
            Post(kHookNotInPlace);
        }
    } else if (g_sink.watchdog.OnMouseInput(now, g_state.lastEvent.load(std::memory_order_relaxed))) {
        Post(kHookMissedInput);
    }
}

LRESULT CALLBACK SinkProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept
{
    if (message == WM_INPUT)
        OnRawInput(reinterpret_cast<HRAWINPUT>(lParam));
    return DefWindowProcW(window, message, wParam, lParam);  // which frees the input
}

void StartSink(bool hookInstalled)
{
    g_sink.hookInstalled = hookInstalled;
    if (g_reinstalling)
        g_sink.watchdog.Reinstalled(g_state.lastEvent.load(std::memory_order_relaxed));
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = SinkProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"TarvelHost.RawInputSink";
    RegisterClassW(&windowClass);  // fails harmlessly once registered
    g_sink.window = CreateWindowExW(0, windowClass.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                    windowClass.hInstance, nullptr);
    const RAWINPUTDEVICE mouse{0x01, 0x02, RIDEV_INPUTSINK, g_sink.window};  // generic desktop, mouse
    if (g_sink.window != nullptr)
        RegisterRawInputDevices(&mouse, 1, sizeof(mouse));
}

void StopSink()
{
    const RAWINPUTDEVICE mouse{0x01, 0x02, RIDEV_REMOVE, nullptr};
    RegisterRawInputDevices(&mouse, 1, sizeof(mouse));
    if (g_sink.window != nullptr)
        DestroyWindow(g_sink.window);
    g_sink.window = nullptr;
}

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
    if (message == WM_MOUSEWHEEL && press_timing::OnWheel(static_cast<short>(HIWORD(info.mouseData))))
        return 1;  // a step of the switcher, not the window's
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
    m_thread = std::make_unique<HookThread>(std::initializer_list<HookThread::Hook>{{WH_MOUSE_LL, MouseHookProc}},
                                            HookThread::Companion{&StartSink, &StopSink});
    g_reinstalling = true;  // the next one replaces this one
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
