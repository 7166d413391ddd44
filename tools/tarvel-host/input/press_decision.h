// One decision per press: whether the hook swallows a button is decided at
// its down and held until its matching up, for each of the buttons the hook
// can be told to use.  What decides (the chosen button, Pause, the filter)
// may change in between: the flip itself changes the foreground.  A swallowed
// down with a delivered up would be "Back" in the window under the pointer; a
// delivered down with a swallowed up would leave the application waiting for
// an up (middle-button scrolling stuck).
//
// Used by the hook procedure alone: one thread at a time (a new hook thread
// starts only after the old one has ended), so no guard.
#pragma once

#include <windows.h>

enum class MouseButton { XButton1, XButton2, Middle };

// A button's down or up as the low-level mouse hook reports it.
struct ButtonEvent {
    MouseButton button;
    bool down;
};

// Whether the hook's `message` (with MSLLHOOKSTRUCT::mouseData `mouseData`)
// is a down or up of a side or middle button; fills `event` if so.
bool ReadButtonEvent(WPARAM message, DWORD mouseData, ButtonEvent& event);

class PressDecisions {
public:
    // At a down: records `swallow` for the button and returns it.  At an up:
    // the decision its down took, which it then forgets; an up whose down
    // was never seen (the hook came between them) goes through, as its down did.
    bool Decide(const ButtonEvent& event, bool swallow);

private:
    enum class Held : unsigned char { None, Swallowed, Delivered };
    Held m_held[3] = {Held::None, Held::None, Held::None};  // by MouseButton
};
