// The chosen button's press told apart by its length and by what happens
// while it is held.  Without a hold time every press flips at its down, as
// it always did.  With one, the hook swallows the down and hands it here:
// held that long, the press flips while the button is still down (one
// one-shot timer on the hook thread, started at the down and killed at the
// up; none while idle); let go sooner, it was a click, and the click's down
// and up are sent again, marked as ours, so that the window under the
// pointer gets its Back.  A short click can instead switch to the previous
// window (the tap).
//
// Movement while the button is held: a side button's press stays a press
// however the thumb wobbles (no application drags with a side button); the
// middle button's press moved further than the drag distance at its
// monitor's DPI is a drag, its down sent again at once and its up let
// through.  With the desktop drag chosen (Windows 10 and later), a press of
// any of the buttons moved mostly sideways by half an inch changes the
// virtual desktop instead, once, and flips nothing; a press that may still
// become such a drag flips at its release rather than at its down.
//
// The wheel while the button is held (the wheel steps) reaches no window: a
// notch toward the user steps the switcher to the next window, away to the
// previous one, the first notch opening the switcher if the press has not
// yet; letting go after a step picks the selected window.
//
// A press's state outlives a hook that is installed again: the down that
// was sent again keeps its up delivered, a swallowed down keeps its up
// swallowed.  Only the hold timer ends with its thread; such a press is
// measured at its up instead.
//
// Everything but the choices runs on the hook thread: the hook procedure and
// the timer procedure are both called from its message loop, one at a time.
#pragma once

#include <windows.h>

#include "press_decision.h"

namespace press_timing {

// What a press asks of the tray, in the order the hook saw it: a flip (or
// the end of the shown one), a switch to the window used before the one in
// front, a step of the switcher, the pick of its selection, a desktop switch.
enum class PressKind : WPARAM {
    Flip = 0,
    Previous = 1,
    StepNext = 2,
    StepBack = 3,
    Pick = 4,
    DesktopRight = 5,
    DesktopLeft = 6,
};
using Report = void (*)(PressKind kind);

// Any thread.  0 ms: every press flips at its down.
void SetHoldMs(DWORD holdMs);
// Any thread.  True: a short click switches to the previous window instead
// of reaching the window under the pointer.
void SetTapPrevious(bool tapPrevious);
// Any thread.  The wheel's steps, and the desktop drag (which only Windows
// 10 and later have: ignored before).
void SetGestures(bool wheelSteps, bool desktopDrag);

// Sets where presses are reported and forgets the hold timer, which ends
// with its thread; a press under way keeps its state.  Only while no hook
// thread runs (before a hook is installed).
void Reset(Report report);

// The rest on the hook thread.
// The chosen button went down (the hook swallows it).
void OnDown(const MSLLHOOKSTRUCT& event, MouseButton button);
// The pointer moved while nothing or the button is held.
void OnMove(POINT point);
// The wheel turned by `delta` (WHEEL_DELTA a notch): true when the hook is
// to swallow it (a press of ours is held and the wheel steps).
bool OnWheel(short delta);
// The chosen button came up: true when the hook is to swallow the up.
bool OnUp();
// Raw Input's report of the mouse's buttons (RAWMOUSE's usButtonFlags) and
// its time, on the hook thread: an up of the press's button that the hook
// never reports (it died meanwhile, or the up came on the secure desktop)
// ends the press at the next move or notch.
void OnRawButtons(USHORT buttonFlags, DWORD time);
// Whether the hook sees input this unit sent again itself.
bool IsReplay(ULONG_PTR extraInfo);
inline bool IsReplay(const MSLLHOOKSTRUCT& event)
{
    return (event.flags & LLMHF_INJECTED) != 0 && IsReplay(event.dwExtraInfo);
}

}  // namespace press_timing
