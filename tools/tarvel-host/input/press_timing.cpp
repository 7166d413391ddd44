#include "press_timing.h"

#include <atomic>
#include <cstdlib>

#include "common/running_version.h"

namespace press_timing {

namespace {

// Marks the input this unit sends again, so that the hook lets it pass ("TRVL").
constexpr ULONG_PTR kReplayMark = 0x5452564C;
// The desktop drag's distance at 96 DPI: half an inch.
constexpr int kDesktopDragAt96 = 48;

// The choices, written by the main thread and read by the hook thread at a
// press's down; each is used on its own.
std::atomic<DWORD> g_holdMs{0};
std::atomic<bool> g_tapPrevious{false};
std::atomic<bool> g_wheelSteps{false};  // off unless chosen: the console mode has no steps
std::atomic<bool> g_desktopDrag{false};

// Monitor DPI functions, newer than Windows 7 where they exist; found by
// Reset, before the hook thread that reads them starts.
using DpiForMonitor = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);
using MetricsForDpi = int(WINAPI*)(int, UINT);
DpiForMonitor g_dpiForMonitor = nullptr;  // shcore.dll, 8.1
MetricsForDpi g_metricsForDpi = nullptr;  // user32.dll, 10 (1607)

enum class Phase {
    Idle,     // no press of ours under way
    Held,     // down, swallowed, undecided (the hold timer running, if any)
    Dragged,  // the middle button moved while held: the down sent again, the up is the application's
    Flipped,  // the flip reported (at the down, the hold time or a notch), the up swallowed
    Desktop,  // the desktop switched by a drag, the up swallowed
};

// One press at a time, touched only on the hook thread (the hook procedure
// and the timer procedure, which its message loop calls one after the other).
struct Press {
    Report report = nullptr;
    Phase phase = Phase::Idle;
    MouseButton button = MouseButton::XButton1;
    POINT down{};
    DWORD downTick = 0;
    bool desktopDrag = false;  // this press may still change the desktop
    int dragDistance = 0;      // physical pixels at the down's monitor
    int desktopDistance = 0;
    int wheel = 0;         // the wheel's turn not yet a whole notch (high-resolution wheels)
    bool stepped = false;  // the switcher was opened or stepped by the wheel
    DWORD downTime = 0;  // the down's event time
    // Raw Input saw this press's button go up: an up that a hook which died
    // meanwhile never saw.
    bool rawUp = false;
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

void Flip()
{
    StopTimer();
    g_press.phase = Phase::Flipped;
    Tell(PressKind::Flip);
}

// The hold time reached with the button still down.  A WM_TIMER queued
// before KillTimer may still come: only the live timer of a held press counts.
void CALLBACK OnHoldReached(HWND, UINT, UINT_PTR timer, DWORD) noexcept
{
    KillTimer(nullptr, timer);
    if (timer != g_press.timer || g_press.phase != Phase::Held)
        return;
    g_press.timer = 0;
    Flip();
}

// The DPI of the monitor at `point`.  A low-level hook's points are physical
// pixels, and GetSystemMetrics answers for one DPI only; 96 without the
// newer functions (Windows 7 scales nothing per monitor).
UINT DpiAt(POINT point)
{
    UINT x = 96, y = 96;
    if (g_dpiForMonitor == nullptr ||
        FAILED(g_dpiForMonitor(MonitorFromPoint(point, MONITOR_DEFAULTTONEAREST), 0, &x, &y)))  // MDT_EFFECTIVE_DPI
        return 96;
    return x;
}

void MeasureDistances(POINT point)
{
    const UINT dpi = DpiAt(point);
    g_press.dragDistance = g_metricsForDpi != nullptr ? g_metricsForDpi(SM_CXDRAG, dpi)
                                                      : MulDiv(GetSystemMetrics(SM_CXDRAG), dpi, 96);
    g_press.desktopDistance = MulDiv(kDesktopDragAt96, dpi, 96);
}

// The middle button's press moved beyond the drag distance: the
// application's drag (with the desktop drag on, only a mostly upright one).
// A side button's press stays a press.
bool IsApplicationDrag(int dx, int dy)
{
    if (g_press.button != MouseButton::Middle)
        return false;
    if (g_press.desktopDrag)
        return std::abs(dy) > g_press.dragDistance && std::abs(dy) >= std::abs(dx);
    return std::abs(dx) > g_press.dragDistance || std::abs(dy) > g_press.dragDistance;
}

// A press whose up only Raw Input saw is over: it swallows no more wheel and
// makes no drag until the button's next down.
void ForgetPressWithLostUp()
{
    if (g_press.phase != Phase::Idle && g_press.rawUp) {
        StopTimer();
        g_press.phase = Phase::Idle;
    }
}

// Mostly sideways, and beyond half an inch.
bool IsDesktopDrag(int dx, int dy)
{
    return g_press.desktopDrag && std::abs(dx) > g_press.desktopDistance && std::abs(dx) > std::abs(dy);
}

}  // namespace

void SetHoldMs(DWORD holdMs) { g_holdMs = holdMs; }

void SetTapPrevious(bool tapPrevious) { g_tapPrevious = tapPrevious; }

void SetGestures(bool wheelSteps, bool desktopDrag)
{
    g_wheelSteps = wheelSteps;
    g_desktopDrag = desktopDrag && ReadRunningWindowsVersion() >= 0x0A00;
}

void Reset(Report report)
{
    HMODULE shcore = g_dpiForMonitor == nullptr ? LoadLibraryExW(L"shcore.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32)
                                                : nullptr;
    if (shcore != nullptr)
        g_dpiForMonitor = reinterpret_cast<DpiForMonitor>(
            reinterpret_cast<void*>(GetProcAddress(shcore, "GetDpiForMonitor")));  // stays loaded
    g_metricsForDpi = reinterpret_cast<MetricsForDpi>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetSystemMetricsForDpi")));
    g_press.report = report;
    g_press.timer = 0;  // ended with the thread that set it
}

void OnDown(const MSLLHOOKSTRUCT& event, MouseButton button)
{
    StopTimer();
    const DWORD holdMs = g_holdMs.load();
    g_press.button = button;
    g_press.down = event.pt;
    g_press.downTick = GetTickCount();
    g_press.desktopDrag = g_desktopDrag.load();
    g_press.wheel = 0;
    g_press.stepped = false;
    g_press.downTime = event.time;
    g_press.rawUp = false;
    g_press.phase = Phase::Held;
    MeasureDistances(event.pt);
    if (holdMs == 0) {
        if (!g_press.desktopDrag)
            Flip();  // with the desktop drag it flips at the up, unless it drags
        return;
    }
    g_press.timer = SetTimer(nullptr, 0, holdMs, OnHoldReached);
    if (g_press.timer == 0)
        Flip();  // no timer to tell the length: the press flips as without a hold time
}

void OnMove(POINT point)
{
    ForgetPressWithLostUp();
    if (g_press.phase != Phase::Held)
        return;
    const int dx = point.x - g_press.down.x, dy = point.y - g_press.down.y;
    if (IsDesktopDrag(dx, dy)) {
        StopTimer();
        g_press.phase = Phase::Desktop;
        Tell(dx > 0 ? PressKind::DesktopRight : PressKind::DesktopLeft);
    } else if (IsApplicationDrag(dx, dy)) {
        StopTimer();
        g_press.phase = Phase::Dragged;
        SendAgain(true, false);
    }
}

bool OnWheel(short delta)
{
    ForgetPressWithLostUp();
    const Phase phase = g_press.phase;
    if (!g_wheelSteps.load() || phase == Phase::Idle || phase == Phase::Dragged)
        return false;
    if (phase == Phase::Desktop)
        return true;
    g_press.wheel += delta;
    if (phase == Phase::Held) {
        // The first whole notch opens the switcher, on the next window as
        // Alt+Tab's first Tab does: that is its step.
        if (std::abs(g_press.wheel) >= WHEEL_DELTA) {
            g_press.wheel = 0;
            g_press.stepped = true;
            Flip();
        }
        return true;
    }
    // Toward the user (negative) to the next window.
    for (; g_press.wheel <= -WHEEL_DELTA; g_press.wheel += WHEEL_DELTA, g_press.stepped = true)
        Tell(PressKind::StepNext);
    for (; g_press.wheel >= WHEEL_DELTA; g_press.wheel -= WHEEL_DELTA, g_press.stepped = true)
        Tell(PressKind::StepBack);
    return true;
}

bool OnUp()
{
    const Phase phase = g_press.phase;
    StopTimer();
    g_press.phase = Phase::Idle;
    if (phase == Phase::Held) {
        // No hold time (the press waited for a drag that did not come), or
        // held long enough while a hook installed again lost the timer.
        const DWORD holdMs = g_holdMs.load();
        if (holdMs == 0 || GetTickCount() - g_press.downTick >= holdMs)
            Tell(PressKind::Flip);
        else if (g_tapPrevious.load())
            Tell(PressKind::Previous);
        else
            SendAgain(true, true);
    } else if (phase == Phase::Flipped && g_press.stepped) {
        Tell(PressKind::Pick);
    }
    return phase != Phase::Dragged;
}

void OnRawButtons(USHORT buttonFlags, DWORD time)
{
    static constexpr USHORT kUp[] = {RI_MOUSE_BUTTON_4_UP, RI_MOUSE_BUTTON_5_UP, RI_MOUSE_MIDDLE_BUTTON_UP};
    // Only an up later than this press's down, by the events' times: the
    // report and the hook's call reach this thread by different ways, in
    // either order, and the last press's up may be reported late.
    if (g_press.phase != Phase::Idle && (buttonFlags & kUp[static_cast<size_t>(g_press.button)]) &&
        static_cast<LONG>(time - g_press.downTime) > 0)
        g_press.rawUp = true;
}

bool IsReplay(ULONG_PTR extraInfo) { return extraInfo == kReplayMark; }

}  // namespace press_timing
