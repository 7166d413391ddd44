#include "tray_texts.h"

#include "plugin_library.h"

namespace {

std::wstring CornersPhrase(unsigned corners)
{
    std::wstring names;
    int count = 0;
    for (unsigned i = 0; i < 4; ++i) {
        if ((corners & (1u << i)) == 0)
            continue;
        const bool last = (corners >> (i + 1)) == 0;
        names += count == 0 ? L"" : last ? L" or " : L", ";
        names += kCornerNames[i];
        ++count;
    }
    return count == 0 ? L"" : L" or push the pointer into the " + names + L" corner";
}

}  // namespace

std::wstring TriggerDescription(const TraySettings& settings)
{
    const std::wstring button = MouseButtonDescription(settings.button);
    const std::wstring press = settings.holdMs == 0
                                   ? L"Press the " + button
                                   : L"Hold the " + button + L" down (" + std::to_wstring(settings.holdMs) + L" ms)";
    return press + CornersPhrase(settings.corners);
}

std::string HookRefusedText(unsigned long error)
{
    return "Tarvel cannot start: Windows did not let it watch the mouse (its mouse hook could not be installed: " +
           DescribeError(error) + "). Start Tarvel again; if this keeps happening, restart Windows.";
}

std::wstring BalloonText(const TraySettings& settings)
{
    return TriggerDescription(settings) + L" to switch windows. Click this icon for the menu.";
}

std::wstring AboutText(const TraySettings& settings, const std::wstring& version, const std::wstring& program)
{
    return L"Tarvel " + version + L"\n\n" + TriggerDescription(settings) +
           L" to see your open windows and switch to one. Click Tarvel's icon in the notification area for the "
           L"menu that changes this (on Windows 10 and 11 the icon may be under the ^ arrow beside the "
           L"clock).\n\nProgram: " +
           program + L"\n\nFree software under the MIT License (LICENSE.txt beside it).";
}

std::wstring TooltipText(const TraySettings& settings, LetThrough letThrough, const std::wstring& excludedApplication)
{
    std::wstring state = L", on";
    if (settings.paused)
        state = L", paused";
    else if (letThrough == LetThrough::Game)
        state = L", let through to the full-screen game";
    else if (letThrough == LetThrough::Presentation)
        state = L", let through to the presentation";
    else if (letThrough == LetThrough::Excluded)
        state = L", let through to " + excludedApplication + L" (excluded)";
    else if (letThrough == LetThrough::FullScreenWindow)
        state = L", let through to the full-screen window";
    return std::wstring(L"Tarvel: ") + MouseButtonDescription(settings.button) + state;
}
