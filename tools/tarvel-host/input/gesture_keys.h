// The keys the button's gestures send, on the main thread in the order the
// hook reported them (a step after the flip that opened the switcher): Right
// and Left step the switcher (Task View on 10 and 11, the Alt+Tab window on
// 8 and 8.1, the 3-D flip on 7, tarvel-host's own app switcher), Enter
// picks its selection, Ctrl+Windows+Right and Left change the virtual desktop.
#pragma once

#include <windows.h>

// Sends the keys for `kind` (a press_timing::PressKind) in one SendInput
// call, with the modifiers the user holds lifted before and put back after
// (a step or a pick only while a switcher is in front); false when `kind`
// asks for no keys (a flip, the tap).
bool SendGestureKeys(WPARAM kind);
