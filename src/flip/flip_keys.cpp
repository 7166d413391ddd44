#include "flip/flip_keys.h"

#include "flip/composition.h"
#include "flip/flip_state.h"
#include "foreground/switcher_windows.h"

namespace {

// The keys the plug-in sends, by bit.  Scan codes as a keyboard sends them
// (some games read those, not the virtual keys); the right-hand Ctrl and Alt
// and the Windows keys are extended keys (E0).
struct KeyCode {
    WORD vk;
    WORD scan;
    bool extended;
};
enum KeyBit { LShift, RShift, LCtrl, RCtrl, LAlt, RAlt, LWin, RWin, Tab, EscapeKey, EnterKey, MaskKey, KeyCount };
constexpr KeyCode kKeys[KeyCount] = {
    {VK_LSHIFT, 0x2A, false}, {VK_RSHIFT, 0x36, false}, {VK_LCONTROL, 0x1D, false}, {VK_RCONTROL, 0x1D, true},
    {VK_LMENU, 0x38, false},  {VK_RMENU, 0x38, true},   {VK_LWIN, 0x5B, true},      {VK_RWIN, 0x5C, true},
    {VK_TAB, 0x0F, false},    {VK_ESCAPE, 0x01, false}, {VK_RETURN, 0x1C, false},   {0xE8, 0, false},
};
constexpr int kModifiers = RWin + 1;  // Shift, Ctrl, Alt and Windows, left and right
// A Windows or Alt key that goes up with no other key since its down opens
// the Start menu or the window's menu bar.  A tap of an unassigned key (E8)
// before the lift, and after the put-back for the user's own release, makes
// each a combination that does nothing.
constexpr LONG kMaskedModifiers = 1L << LAlt | 1L << RAlt | 1L << LWin | 1L << RWin;

// The sticky shortcut of each version's switcher, which stays open with
// every key up: Task View on 10 and 11; Alt+Tab's window on 8 and 8.1 (their
// Windows+Tab lists only full-screen apps); the 3-D flip on Vista and 7.
constexpr KeyBit kWindows10Keys[] = {LWin, Tab};
constexpr KeyBit kWindows8Keys[] = {LCtrl, LAlt, Tab};
constexpr KeyBit kWindows7Keys[] = {LCtrl, LWin, Tab};

// One step's events, sent in one call.
class KeyEvents {
public:
    void Add(int bit, bool down)
    {
        INPUT& input = m_inputs[m_count];
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = kKeys[bit].vk;
        input.ki.wScan = kKeys[bit].scan;
        input.ki.dwFlags = (kKeys[bit].extended ? KEYEVENTF_EXTENDEDKEY : 0) | (down ? 0 : KEYEVENTF_KEYUP);
        m_bits[m_count++] = bit;
    }
    void Tap(int bit)
    {
        Add(bit, true);
        Add(bit, false);
    }
    void AddEach(LONG bits, bool down)
    {
        for (int bit = 0; bit < KeyCount; ++bit) {
            if (bits & (1L << bit))
                Add(bit, down);
        }
    }
    UINT Count() const { return m_count; }
    UINT Sent() const { return m_sent; }
    // Sends the events; from the keys down before, returns those down after.
    // SendInput answers how many went in, in order: 0 when UIPI blocks it (an
    // elevated window in front), though it may also drop them without a word,
    // which no count shows.
    LONG Send(LONG downBefore)
    {
        m_sent = m_count ? SendInput(m_count, m_inputs, sizeof(INPUT)) : 0;
        LONG down = downBefore;
        for (UINT i = 0; i < m_sent; ++i) {
            const LONG bit = 1L << m_bits[i];
            down = (m_inputs[i].ki.dwFlags & KEYEVENTF_KEYUP) ? down & ~bit : down | bit;
        }
        return down;
    }

private:
    static constexpr int kMost = 2 * kModifiers + 2 * 3 + 2 * 2;
    INPUT m_inputs[kMost] = {};
    int m_bits[kMost] = {};
    UINT m_count = 0;
    UINT m_sent = 0;
};

LONG HeldModifiers()
{
    LONG held = 0;
    for (int bit = 0; bit < kModifiers; ++bit) {
        if (GetAsyncKeyState(kKeys[bit].vk) & 0x8000)
            held |= 1L << bit;
    }
    return held;
}

// Sends `keys` down in order and up in reverse, in one call, with the
// modifiers the user holds (a host's binding such as Shift+button) lifted
// before and put back after: the switcher opens as for the bare shortcut
// (Shift would run the 3-D flip backwards), and the user's keys end as they
// were.  A key-up that did not go in is owed.  False when the shortcut's
// key-downs did not all go in: the switcher cannot have opened.
template <size_t N>
bool SendShortcut(const KeyBit (&keys)[N])
{
    const LONG held = HeldModifiers();
    const bool masked = (held & kMaskedModifiers) != 0;
    KeyEvents events;
    if (masked)
        events.Tap(MaskKey);
    events.AddEach(held, false);
    for (size_t i = 0; i < N; ++i)
        events.Add(keys[i], true);
    const UINT downsEnd = events.Count();
    for (size_t i = N; i-- > 0;)
        events.Add(keys[i], false);
    events.AddEach(held, true);
    if (masked)
        events.Tap(MaskKey);
    if (const LONG owed = events.Send(held) & ~held)
        InterlockedOr(&g_flipState.OwedKeyUps, owed);
    return events.Sent() >= downsEnd;
}

}  // namespace

bool SendFlipKeys()
{
    const DWORD version = RunningWindowsVersion();
    if (version >= kWindows10)
        return SendShortcut(kWindows10Keys);
    if (version >= kWindows8)
        return SendShortcut(kWindows8Keys);
    return SendShortcut(kWindows7Keys);
}

void SettleOwedKeys()
{
    const LONG owed = InterlockedExchange(&g_flipState.OwedKeyUps, 0);
    if (owed == 0)
        return;
    KeyEvents ups;
    ups.AddEach(owed, false);
    if (const LONG still = ups.Send(owed))
        InterlockedOr(&g_flipState.OwedKeyUps, still);
}

bool KeyUpsOwed()
{
    return InterlockedCompareExchange(&g_flipState.OwedKeyUps, 0, 0) != 0;
}

void SettleSwitcherIfInFront()
{
    constexpr KeyBit kClose[] = {EscapeKey};
    constexpr KeyBit kSettle[] = {EnterKey};
    if (ClassifyFlipWindow(GetForegroundWindow()) != FlipWindow::Switcher)
        return;
    if (RunningWindowsVersion() >= kWindows10)
        SendShortcut(kClose);
    else
        SendShortcut(kSettle);
}
