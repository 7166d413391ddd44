#include "press_decision.h"

bool ReadButtonEvent(WPARAM message, DWORD mouseData, ButtonEvent& event)
{
    switch (message) {
    case WM_MBUTTONDOWN:
    case WM_MBUTTONUP:
        event = {MouseButton::Middle, message == WM_MBUTTONDOWN};
        return true;
    case WM_XBUTTONDOWN:
    case WM_XBUTTONUP:
        if (HIWORD(mouseData) != XBUTTON1 && HIWORD(mouseData) != XBUTTON2)
            return false;
        event = {HIWORD(mouseData) == XBUTTON1 ? MouseButton::XButton1 : MouseButton::XButton2,
                 message == WM_XBUTTONDOWN};
        return true;
    default:
        return false;
    }
}

bool PressDecisions::Decide(const ButtonEvent& event, bool swallow)
{
    Held& held = m_held[static_cast<int>(event.button)];
    if (event.down) {
        // A second down without an up between (an up no hook saw) starts afresh.
        held = swallow ? Held::Swallowed : Held::Delivered;
        return swallow;
    }
    const bool swallowed = held == Held::Swallowed;
    held = Held::None;
    return swallowed;
}
