#include "hook_watchdog.h"

#include "press_timing.h"

namespace {

// `later` is not before `earlier`, modulo 2^32.
bool NotBefore(DWORD later, DWORD earlier) { return static_cast<LONG>(later - earlier) >= 0; }

}  // namespace

bool CountsForWatchdog(DWORD type, ULONG_PTR extraInfo)
{
    constexpr ULONG_PTR kPenOrTouchMask = 0xFFFFFF00, kPenOrTouchSignature = 0xFF515700;
    return type == RIM_TYPEMOUSE && (extraInfo & kPenOrTouchMask) != kPenOrTouchSignature &&
           !press_timing::IsReplay(extraInfo);
}

bool HookWatchdog::OnMouseInput(DWORD now, DWORD lastHookEvent)
{
    if (m_waitingForHook) {
        if (lastHookEvent == m_hookEventAtReinstall)
            return false;
        m_waitingForHook = false;
    }
    // Input and hook event arrive by different paths, in either order: a
    // hook that saw anything within the grace is alive.
    if (now - lastHookEvent < kGraceMs) {
        m_pending = false;
        return false;
    }
    if (!m_pending || NotBefore(lastHookEvent, m_pendingSince)) {
        m_pending = true;
        m_pendingSince = now;
        return false;
    }
    if (now - m_pendingSince < kGraceMs)
        return false;
    m_pending = false;
    return true;
}

void HookWatchdog::Reinstalled(DWORD lastHookEvent)
{
    m_pending = false;
    m_waitingForHook = true;
    m_hookEventAtReinstall = lastHookEvent;
}
