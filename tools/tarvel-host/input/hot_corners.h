// Hot corners, told from the mouse hook's own events: no polling, and no
// timer while the pointer is away from the corners.  A corner is one of a
// monitor's corner pixels where no other monitor continues (the pointer
// stops there); pushed into it and kept there for the dwell, the pointer
// acts as one press of the button.  The corner fires again only once the
// pointer has left it.  Nothing fires while a mouse button is held.
//
// The corners' places are worked out from the monitors when the choices or
// the displays change (display and DPI changes), never per event; the hook
// thread only compares the pointer with them.
#pragma once

#include <windows.h>

#include <array>

namespace hot_corners {

struct Place {
    POINT corner;  // the corner pixel
    int dx, dy;    // -1 or 1: the direction away from the screen
};

// Where the chosen corners (settings.h's HotCorner bits) are on the current
// monitors; at most this many.
inline constexpr size_t kMostPlaces = 32;
struct Places {
    std::array<Place, kMostPlaces> places{};
    size_t count = 0;
};
Places FindPlaces(unsigned corners);

// What the hook thread calls.  `fire` runs on the hook thread when a dwell
// ends; `active` is asked then, and says whether a press may happen at all
// (not paused, the button not let through).
using Fire = void (*)();
using Active = bool (*)();

// Main thread: the places (or none) and the dwell, taken by the hook thread
// at its next event.
void SetPlaces(const Places& places, DWORD dwellMs);

// Forgets the pointer's state; only while no hook thread runs.
void Reset(Fire fire, Active active);

// Hook thread: the pointer is at `point`.  The whole cost of a move away
// from the corners.
void OnMove(POINT point);
// Hook thread: a mouse button (a bit of its own for each) went down or up.
void OnButton(unsigned button, bool down);
// Hook thread: any event of the mouse hook, handed to OnMove or OnButton.
void OnMouseEvent(WPARAM message, const MSLLHOOKSTRUCT& event);

}  // namespace hot_corners
