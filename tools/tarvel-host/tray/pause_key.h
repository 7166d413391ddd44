// The pause key: a global hot key ("Ctrl+Alt+P") that toggles Pause,
// registered for the tray's window, which receives WM_HOTKEY.
#pragma once

#include <windows.h>

#include <string>

// "Ctrl+Alt+P" and the like: any of Ctrl, Alt, Shift, Win, then one key (a
// letter, a digit, F1 to F24, Pause, Insert, Delete, Home, End, PageUp,
// PageDown, Space), any case; false for anything else.
bool ParsePauseKey(const std::wstring& text, UINT& modifiers, UINT& key);

// Owns one registration; unregistered when it goes or changes.
class PauseKey {
public:
    static constexpr int kId = 1;  // the WM_HOTKEY's wParam

    explicit PauseKey(HWND window) : m_window(window) {}
    ~PauseKey() { Clear(); }
    PauseKey(const PauseKey&) = delete;
    PauseKey& operator=(const PauseKey&) = delete;

    // Registers `text` in place of the key before (none for ""): "" when it
    // worked, else what to tell the user (not understood, or taken by
    // another program).  Kept until the next Set, for the settings window.
    const std::wstring& Set(const std::wstring& text);
    const std::wstring& Problem() const { return m_problem; }

private:
    void Clear();

    HWND m_window;
    bool m_registered = false;
    std::wstring m_problem;
};
