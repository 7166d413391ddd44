// The chosen button's press told apart by its length.  Without a hold time
// every press flips at its down, as it always did.  With one, the hook
// swallows the down and hands it here: held that long, the press flips while
// the button is still down (one one-shot timer on the hook thread, started at
// the down and killed at the up; none while idle); let go sooner, it was a
// click, and the click's down and up are sent again, marked as ours, so that
// the window under the pointer gets its Back; moved further than the
// system's drag distance while down, it is a drag, and the down is sent
// again at once and the up let through.  A short click can instead switch to
// the previous window (the tap).
//
// Everything but the choices runs on the hook thread: the hook procedure and
// the timer procedure are both called from its message loop, one at a time.
#pragma once

#include <windows.h>

#include "button_hook.h"

namespace press_timing {

// What a press asks of the tray: a flip (or the end of the shown one), or a
// switch to the window used before the one in front.
enum class PressKind : WPARAM { Flip = 0, Previous = 1 };
using Report = void (*)(PressKind kind);

// Any thread.  0 ms: every press flips at its down.
void SetHoldMs(DWORD holdMs);
// Any thread.  True: a short click switches to the previous window instead
// of reaching the window under the pointer.
void SetTapPrevious(bool tapPrevious);

// Forgets any press under way and sets where presses are reported.  Only
// while no hook thread runs (before a hook is installed): a thread's timers
// end with it, and a press cut short by the end of a hook is forgotten here.
void Reset(Report report);

// The rest on the hook thread.
// The chosen button went down (the hook swallows it).
void OnDown(const MSLLHOOKSTRUCT& event, MouseButton button);
// The chosen button came up: true when the hook is to swallow the up.
bool OnUp();
// The pointer moved (a press held still may become a drag).
void OnMove(POINT point);
// Whether the hook sees a click this unit sent again itself.
bool IsReplay(const MSLLHOOKSTRUCT& event);

}  // namespace press_timing
