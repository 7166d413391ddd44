#include "hot_corners.h"

#include <atomic>

namespace hot_corners {

namespace {

// How far past the corner pixel a point still counts: the hook may see a
// point beyond the screen's edge before the system stops the pointer there.
constexpr LONG kReach = 64;

// The places, written by the main thread and read by the hook thread on
// every move: guarded by the lock, taken shared by the hook (never waits but
// for a moment while the main thread copies a few points in).
SRWLOCK g_placesLock = SRWLOCK_INIT;
Places g_places;                  // guarded by g_placesLock
std::atomic<DWORD> g_dwellMs{150};

// The pointer's state, hook thread only (the hook and the timer procedure
// run one after the other from its message loop).
struct Pointer {
    Fire fire = nullptr;
    Active active = nullptr;
    bool inCorner = false;  // in a corner: it fires (again) only after the pointer has left it
    unsigned buttonsDown = 0;  // a bit for each button held; one up clears what a lost up left set
    UINT_PTR timer = 0;
} g_pointer;

bool InPlace(const Place& place, POINT point)
{
    const LONG beyondX = (point.x - place.corner.x) * place.dx;
    const LONG beyondY = (point.y - place.corner.y) * place.dy;
    return beyondX >= 0 && beyondX <= kReach && beyondY >= 0 && beyondY <= kReach;
}

bool InAnyPlace(POINT point)
{
    AcquireSRWLockShared(&g_placesLock);
    bool found = false;
    for (size_t i = 0; i < g_places.count && !found; ++i)
        found = InPlace(g_places.places[i], point);
    ReleaseSRWLockShared(&g_placesLock);
    return found;
}

void StopTimer()
{
    if (g_pointer.timer != 0)
        KillTimer(nullptr, g_pointer.timer);
    g_pointer.timer = 0;
}

// The dwell is over with the pointer still in the corner.  A WM_TIMER queued
// before KillTimer may still come: only the live timer counts.
void CALLBACK OnDwellOver(HWND, UINT, UINT_PTR timer, DWORD) noexcept
{
    KillTimer(nullptr, timer);
    if (timer != g_pointer.timer)
        return;
    g_pointer.timer = 0;
    if (g_pointer.buttonsDown == 0 && g_pointer.active != nullptr && g_pointer.active() && g_pointer.fire != nullptr)
        g_pointer.fire();
}

// Whether a monitor continues past `point` (one pixel beyond a corner).
bool OnAMonitor(LONG x, LONG y) { return MonitorFromPoint(POINT{x, y}, MONITOR_DEFAULTTONULL) != nullptr; }

BOOL CALLBACK AddMonitor(HMONITOR monitor, HDC, LPRECT, LPARAM data)
{
    auto& found = *reinterpret_cast<std::pair<unsigned, Places*>*>(data);
    MONITORINFO info{};
    info.cbSize = sizeof(info);
    if (!GetMonitorInfoW(monitor, &info))
        return TRUE;
    const RECT& r = info.rcMonitor;
    const Place corners[] = {{{r.left, r.top}, -1, -1},
                             {{r.right - 1, r.top}, 1, -1},
                             {{r.left, r.bottom - 1}, -1, 1},
                             {{r.right - 1, r.bottom - 1}, 1, 1}};
    Places& places = *found.second;
    for (unsigned i = 0; i < 4 && places.count < kMostPlaces; ++i) {
        const Place& place = corners[i];
        const LONG x = place.corner.x, y = place.corner.y;
        if ((found.first & (1u << i)) != 0 && !OnAMonitor(x + place.dx, y) && !OnAMonitor(x, y + place.dy) &&
            !OnAMonitor(x + place.dx, y + place.dy))
            places.places[places.count++] = place;
    }
    return TRUE;
}

}  // namespace

Places FindPlaces(unsigned corners)
{
    Places places;
    std::pair<unsigned, Places*> found{corners, &places};
    if (corners != 0)
        EnumDisplayMonitors(nullptr, nullptr, AddMonitor, reinterpret_cast<LPARAM>(&found));
    return places;
}

void SetPlaces(const Places& places, DWORD dwellMs)
{
    g_dwellMs = dwellMs;
    AcquireSRWLockExclusive(&g_placesLock);
    g_places = places;
    ReleaseSRWLockExclusive(&g_placesLock);
}

void Reset(Fire fire, Active active) { g_pointer = Pointer{fire, active}; }

void OnMove(POINT point)
{
    const bool inCorner = InAnyPlace(point);
    if (inCorner == g_pointer.inCorner)
        return;
    g_pointer.inCorner = inCorner;
    StopTimer();
    // Reached with a button held (a drag into the corner): nothing until left.
    if (inCorner && g_pointer.buttonsDown == 0)
        g_pointer.timer = SetTimer(nullptr, 0, g_dwellMs.load(), OnDwellOver);
}

void OnButton(unsigned button, bool down)
{
    if (down)
        g_pointer.buttonsDown |= button;
    else
        g_pointer.buttonsDown &= ~button;
    if (down)
        StopTimer();  // a button pressed during the dwell: nothing until the pointer has left
}

void OnMouseEvent(WPARAM message, const MSLLHOOKSTRUCT& event)
{
    switch (message) {
    case WM_MOUSEMOVE: OnMove(event.pt); break;
    case WM_LBUTTONDOWN: OnButton(1, true); break;
    case WM_LBUTTONUP: OnButton(1, false); break;
    case WM_RBUTTONDOWN: OnButton(2, true); break;
    case WM_RBUTTONUP: OnButton(2, false); break;
    case WM_MBUTTONDOWN: OnButton(4, true); break;
    case WM_MBUTTONUP: OnButton(4, false); break;
    case WM_XBUTTONDOWN:
    case WM_XBUTTONUP: OnButton(HIWORD(event.mouseData) == XBUTTON1 ? 8 : 16, message == WM_XBUTTONDOWN); break;
    default: break;
    }
}

}  // namespace hot_corners
