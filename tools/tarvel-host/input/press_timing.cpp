#include "press_timing.h"

#include <atomic>
#include <cstdlib>

namespace press_timing {

namespace {

// Marks the input this unit sends again, so that the hook lets it pass ("TRVL").
constexpr ULONG_PTR kReplayMark = 0x5452564C;

// The choices, written by the main thread and read by the hook thread at a
// press's down; each is used on its own.
std::atomic<DWORD> g_holdMs{0};
std::atomic<bool> g_tapPrevious{false};

enum class Phase {
    Idle,     // no press of ours under way
    Held,     // down, swallowed, the timer running
    Dragged,  // moved while held: the down sent again, the up is the application's
    Flipped,  // held long enough: the flip reported, the up swallowed
};

// One press at a time, touched only on the hook thread (the hook procedure
// and the timer procedure, which its message loop calls one after the other).
struct Press {
    Report report = nullptr;
    Phase phase = Phase::Idle;
    MouseButton button = MouseButton::XButton1;
    POINT down{};
    UINT_PTR timer = 0;
} g_press;

void StopTimer()
{
    if (g_press.timer != 0)
        KillTimer(nullptr, g_press.timer);
    g_press.timer = 0;
}

// `down` and/or `up` of the press's button at the pointer, marked as ours.
void SendAgain(bool down, bool up)
{
    DWORD downFlag = MOUSEEVENTF_XDOWN, upFlag = MOUSEEVENTF_XUP, data = 0;
    if (g_press.button == MouseButton::Middle) {
        downFlag = MOUSEEVENTF_MIDDLEDOWN;
        upFlag = MOUSEEVENTF_MIDDLEUP;
    } else {
        data = g_press.button == MouseButton::XButton1 ? XBUTTON1 : XBUTTON2;
    }
    INPUT inputs[2]{};
    UINT count = 0;
    for (DWORD flag : {down ? downFlag : 0u, up ? upFlag : 0u}) {
        if (flag == 0)
            continue;
        inputs[count].type = INPUT_MOUSE;
        inputs[count].mi.dwFlags = flag;
        inputs[count].mi.mouseData = data;
        inputs[count].mi.dwExtraInfo = kReplayMark;
        ++count;
    }
    // Queued behind the event the hook is deciding on; the hook answers at
    // once and sees them later as replays.
    SendInput(count, inputs, sizeof(INPUT));
}

void Tell(PressKind kind)
{
    if (g_press.report != nullptr)
        g_press.report(kind);
}

// The hold time reached with the button still down.  A WM_TIMER queued
// before KillTimer may still come: only the live timer of a held press counts.
void CALLBACK OnHoldReached(HWND, UINT, UINT_PTR timer, DWORD) noexcept
{
    KillTimer(nullptr, timer);
    if (timer != g_press.timer || g_press.phase != Phase::Held)
        return;
    g_press.timer = 0;
    g_press.phase = Phase::Flipped;
    Tell(PressKind::Flip);
}

}  // namespace

void SetHoldMs(DWORD holdMs) { g_holdMs = holdMs; }

void SetTapPrevious(bool tapPrevious) { g_tapPrevious = tapPrevious; }

void Reset(Report report) { g_press = Press{report}; }

void OnDown(const MSLLHOOKSTRUCT& event, MouseButton button)
{
    StopTimer();
    const DWORD holdMs = g_holdMs.load();
    g_press.button = button;
    g_press.down = event.pt;
    g_press.phase = Phase::Idle;
    if (holdMs == 0) {
        Tell(PressKind::Flip);
        return;
    }
    g_press.timer = SetTimer(nullptr, 0, holdMs, OnHoldReached);
    if (g_press.timer != 0)
        g_press.phase = Phase::Held;
    else
        Tell(PressKind::Flip);  // no timer to tell the length: the press flips as without a hold time
}

bool OnUp()
{
    const Phase phase = g_press.phase;
    StopTimer();
    g_press.phase = Phase::Idle;
    if (phase == Phase::Held) {
        if (g_tapPrevious.load())
            Tell(PressKind::Previous);
        else
            SendAgain(true, true);
    }
    return phase != Phase::Dragged;
}

void OnMove(POINT point)
{
    if (g_press.phase != Phase::Held)
        return;
    if (std::abs(point.x - g_press.down.x) <= GetSystemMetrics(SM_CXDRAG) &&
        std::abs(point.y - g_press.down.y) <= GetSystemMetrics(SM_CYDRAG))
        return;
    StopTimer();
    g_press.phase = Phase::Dragged;
    SendAgain(true, false);
}

bool IsReplay(const MSLLHOOKSTRUCT& event)
{
    return (event.flags & LLMHF_INJECTED) != 0 && event.dwExtraInfo == kReplayMark;
}

}  // namespace press_timing
