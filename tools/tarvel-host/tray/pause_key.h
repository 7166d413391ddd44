// The pause key: a global hot key ("Ctrl+Alt+P") that toggles Pause,
// registered for the tray's window, which receives WM_HOTKEY.  A hot key is
// taken from every program, so only keys that typing never needs are
// accepted (PauseKeyRefusal).
#pragma once

#include <windows.h>

#include <functional>
#include <string>

// "Ctrl+Alt+P" and the like: any of Ctrl, Alt, Shift, Win, then one key (a
// letter, a digit, F1 to F24, Pause, ScrollLock, Insert, Delete, Home, End,
// PageUp, PageDown, Space), any case; false for anything else.
bool ParsePauseKey(const std::wstring& text, UINT& modifiers, UINT& key);
// The other way ("Ctrl+Alt+P"); "" for a key ParsePauseKey does not know.
std::wstring FormatPauseKey(UINT modifiers, UINT key);

// The character a keyboard layout types for `key` with `modifiers` (MOD_*),
// "" for none.
using TypedCharacter = std::function<std::wstring(UINT modifiers, UINT key)>;
// Why `modifiers` + `key` may not be the pause key, "" when it may: a key
// made for it (Pause, Scroll Lock, F13 to F24) always may; F12 is kept for
// debuggers; otherwise Ctrl, Alt or Windows must come with it, and no
// layout may type a character with the combination (AltGr is Ctrl+Alt to
// Windows: Ctrl+Alt+Q is "@" on a German keyboard).
std::wstring PauseKeyRefusal(UINT modifiers, UINT key, const TypedCharacter& typed);
// The first of a few common pause keys that the rules accept.
std::wstring SuggestedPauseKey(const TypedCharacter& typed);
// What `layout` types, asked with ToUnicodeEx, its dead-key state left alone.
std::wstring CharacterOfLayout(HKL layout, UINT modifiers, UINT key);
// Any of the user's layouts (GetKeyboardLayoutList).
std::wstring CharacterOfAnyLayout(UINT modifiers, UINT key);

// Owns one registration; unregistered when it goes or changes.
class PauseKey {
public:
    static constexpr int kId = 1;  // the WM_HOTKEY's wParam

    explicit PauseKey(HWND window) : m_window(window) {}
    ~PauseKey() { Clear(); }
    PauseKey(const PauseKey&) = delete;
    PauseKey& operator=(const PauseKey&) = delete;

    // Registers `text` in place of the key before (none for ""): "" when it
    // worked, else what to tell the user (not understood, refused and why,
    // or taken by another program, with a key that would do).  Kept until
    // the next Set, for the settings window.
    const std::wstring& Set(const std::wstring& text);
    const std::wstring& Problem() const { return m_problem; }

private:
    void Clear();

    HWND m_window;
    bool m_registered = false;
    std::wstring m_problem;
};
