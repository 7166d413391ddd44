#include "hook_watchdog.h"

namespace hook_watchdog {

bool MissedInput(DWORD lastInputTick, DWORD lastHookEventTick, DWORD nowTick)
{
    const auto after = static_cast<LONG>(lastInputTick - lastHookEventTick);
    const DWORD age = nowTick - lastInputTick;
    return after > 0 && age >= kGraceMs && age < 0x80000000u;
}

DWORD LastInputTick(DWORD fallback)
{
    LASTINPUTINFO info{};
    info.cbSize = sizeof(info);
    return GetLastInputInfo(&info) ? info.dwTime : fallback;
}

}  // namespace hook_watchdog
