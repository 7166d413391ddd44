// The keys a flip sends, and the key-ups it owes when SendInput took only
// part of a batch.  No key is ever held while a flip shows: each press sends
// the switcher's sticky shortcut, every key released again, in one call.
#pragma once

// Sends this Windows version's sticky shortcut.  False when the shortcut's
// key-downs did not all go in: the switcher cannot have opened.
bool SendFlipKeys();
// Sends again key-ups that did not go in.
void SettleOwedKeys();
bool KeyUpsOwed();
// With the system's switcher in front, taps the key that closes it as a
// second press should: Escape on 10 and later, Enter on 7 to 8.1 (which
// settles on the window in front).  Sends nothing otherwise.
void SettleSwitcherIfInFront();
