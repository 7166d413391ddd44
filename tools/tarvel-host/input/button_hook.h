// The low-level mouse hook that turns the chosen button into the macro.  It
// runs on a thread of its own (HookThread) and does as little as the system
// demands of such a hook, which it removes when the hook answers slowly: it
// decides whether to swallow the button and posts each press to the thread
// or window that runs the macro, with the wheel's steps and the desktop drag
// while the button is held (press_timing.h).  Paused, or told to let the
// button through (a full-screen game, an application the user excluded), it
// lets every button through.  Its thread also receives Raw Input of the
// mouse and, comparing it with when the hook last saw input, tells the host
// when the hook has missed input (the watchdog: a hook the system removed).
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "hook_thread.h"
#include "press_decision.h"

// "xbutton1", "xbutton2" or "middle" (any case); false for anything else.
bool ParseMouseButton(const std::wstring& text, MouseButton& button);
// The spelling ParseMouseButton reads back.
const wchar_t* MouseButtonKeyword(MouseButton button);
// For the console's lines, as the settings and the README spell them:
// "xbutton1", "xbutton2", "middle".
const char* MouseButtonName(MouseButton button);
// As said to users: "first side button", "second side button", "middle button".
const wchar_t* MouseButtonDescription(MouseButton button);

// What the hook's thread posts besides presses (press_timing::PressKind), as
// the message's wParam: the hook missed real mouse input, or is not in place.
inline constexpr WPARAM kHookMissedInput = 100;
inline constexpr WPARAM kHookNotInPlace = 101;

// One per process: the hook procedure gets no context from the system, so
// what it reads is process-wide.
class ButtonHook {
public:
    // Posts `message` to `window`, or to the thread `threadId` when `window`
    // is null, for each press of `button`.
    ButtonHook(HWND window, DWORD threadId, UINT message, MouseButton button, bool paused);
    // Removes the hook and forgets the target.
    ~ButtonHook();
    ButtonHook(const ButtonHook&) = delete;
    ButtonHook& operator=(const ButtonHook&) = delete;

    bool Installed() const { return m_thread->Installed(); }
    void SetButton(MouseButton button);
    void SetPaused(bool paused);
    // True while the button is to reach the application in front untouched
    // (from the next down on: a press under way keeps its decision).
    void SetPassThrough(bool passThrough);
    // GetTickCount() when the hook last saw an event (or was installed).
    DWORD LastEventTick() const;

private:
    std::unique_ptr<HookThread> m_thread;
};
