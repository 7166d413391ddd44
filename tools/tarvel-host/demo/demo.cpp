#include "demo.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/running_version.h"
#include "composition.h"
#include "demo_window.h"
#include "exclusion_demo.h"
#include "key_watcher.h"

#include "host_objects.h"
#include "host_strings.h"
#include "transcript.h"

namespace {

constexpr DWORD kSwitcherWait = 10000;  // generous: a cold Wine process start
constexpr DWORD kKeyWait = 5000;        // the flip's keys come at once
constexpr DWORD kFlipEndWait = 10000;   // the monitor's 700 ms timer (4 s for a flip that never showed), a busy machine

// Each version's sticky shortcut, every key up before Execute returns: Task
// View on 10 and 11, Alt+Tab's window on 8 and 8.1, the 3-D flip on 7.
std::vector<KeyStroke> FlipStartKeys()
{
    const DWORD version = ReadRunningWindowsVersion();
    if (version >= 0x0A00)
        return {{VK_LWIN, true}, {VK_TAB, true}, {VK_TAB, false}, {VK_LWIN, false}};
    const DWORD second = version >= 0x0602 ? VK_LMENU : VK_LWIN;
    return {{VK_LCONTROL, true}, {second, true}, {VK_TAB, true}, {VK_TAB, false}, {second, false}, {VK_LCONTROL, false}};
}

// No key is held while a flip shows, so none goes up at its end.
std::vector<KeyStroke> FlipEndKeys()
{
    return {};
}

// A new handler bound to the host; empty when there is none (a failed step).
Handler CreateBoundHandler(PluginLibrary& plugin, Transcript& transcript, HostServiceChain& hostObject)
{
    Handler handler(plugin.CreateMacro(L"Tarvel"));
    if (transcript.Step(static_cast<bool>(handler), "CreateMacro(\"Tarvel\") returned a handler, bound with SetHost"))
        BindHost(handler.Get(), 0, hostObject);
    return handler;
}

// The app switcher's window (tools/app-switcher) once it is shown; null when
// none is within the wait.
HWND WaitForSwitcherWindow()
{
    for (DWORD waited = 0; waited < kSwitcherWait; waited += 50) {
        const HWND window = FindWindowW(L"TarvelAppSwitcher", nullptr);
        if (window != nullptr && IsWindowVisible(window))
            return window;
        Sleep(50);
    }
    return nullptr;
}

bool WaitForWindowGone(HWND window)
{
    for (DWORD waited = 0; waited < kSwitcherWait && IsWindow(window); waited += 50)
        Sleep(50);
    return !IsWindow(window);
}

const wchar_t* ResourceName(unsigned identifier) { return MAKEINTRESOURCEW(identifier); }

// The text of entry `identifier` of this executable's string table, for the transcript.
std::string TableText(unsigned identifier)
{
    const wchar_t* text = nullptr;
    const int length = LoadStringW(GetModuleHandleW(nullptr), identifier, reinterpret_cast<wchar_t*>(&text), 0);
    return length > 0 ? Quote(std::wstring(text, static_cast<size_t>(length)).c_str()) : "(no entry)";
}

const char* Supported(bool supported) { return supported ? "supported" : "not supported"; }

void ShowEntryPoints(PluginLibrary& plugin, Transcript& transcript)
{
    transcript.Section("Entry points");
    transcript.Step(plugin.Initialize(), "Initialize() returned true");
    const int32_t capability = plugin.GetCapability();
    transcript.Step(capability == 1, "GetCapability() returned %d", static_cast<int>(capability));
}

void ShowSpellings(PluginLibrary& plugin, Transcript& transcript)
{
    transcript.Section("Which spellings of the name are supported");
    struct TextCase {
        const wchar_t* name;
        bool expected;
    };
    for (const TextCase& test : {TextCase{L"Tarvel", true}, TextCase{L"tarvel", true},
                                 TextCase{L"TARVEL", true}, TextCase{L"Tarve", false},
                                 TextCase{L"Tarvel ", false}}) {
        const bool supported = plugin.IsMacroSupported(test.name);
        transcript.Step(supported == test.expected, "as text %-10s %s", Quote(test.name).c_str(),
                        Supported(supported));
    }
    struct ResourceCase {
        unsigned identifier;
        bool expected;
    };
    for (const ResourceCase& test : {ResourceCase{IDS_NAME_TARVEL, true}, ResourceCase{IDS_NAME_MIXED_CASE, true},
                                     ResourceCase{IDS_NAME_NEAR_MISS, false}, ResourceCase{IDS_NAME_ABSENT, false}}) {
        const bool supported = plugin.IsMacroSupported(ResourceName(test.identifier));
        transcript.Step(supported == test.expected, "as string %u of the host's table, %s: %s", test.identifier,
                        TableText(test.identifier).c_str(), Supported(supported));
    }
}

void ShowHandlerLifecycle(PluginLibrary& plugin, Transcript& transcript)
{
    transcript.Section("A handler's life");
    HostServiceChain hostObject;
    {
        const Handler handler(plugin.CreateMacro(L"Tarvel"));
        if (!transcript.Step(static_cast<bool>(handler), "CreateMacro(\"Tarvel\") returned a handler"))
            return;
        constexpr uintptr_t hostValue = 0x5EED;
        BindHost(handler.Get(), hostValue, hostObject);
        const uintptr_t value = TbGetHostValue(handler.Get());
        transcript.Step(value == hostValue, "SetHost bound it: GetHostValue() returned 0x%llx",
                        static_cast<unsigned long long>(value));
        const uintptr_t answer = TbQueryHost(handler.Get(), 1, 2, 3);
        transcript.Step(answer == HostServiceChain::ProviderValue, "QueryHost followed the host's chain to 0x%llx",
                        static_cast<unsigned long long>(answer));

        const bool locked = TbLock(handler.Get()) != 0;
        transcript.Step(locked, "Lock() returned true");
        if (locked)
            transcript.Step(TbUnlock(handler.Get()) != 0, "Unlock() returned true");
    }
    transcript.Note("Destroy() ended the handler");
}

// Whatever ended the flip section (an exception from the plug-in included),
// leaves no slow pointer.
class FlipCleanup {
public:
    FlipCleanup(Transcript& transcript, PointerSpeedDevice& mouse) : m_transcript(transcript), m_mouse(mouse) {}
    ~FlipCleanup()
    {
        if (m_mouse.RestoreIfLowered())
            m_transcript.Note("put back the pointer speed a flip had lowered");
    }
    FlipCleanup(const FlipCleanup&) = delete;
    FlipCleanup& operator=(const FlipCleanup&) = delete;

private:
    Transcript& m_transcript;
    PointerSpeedDevice& m_mouse;
};

// What one flip of the demonstration works with.
struct FlipStage {
    FlipStage(Transcript& transcript, KeyWatcher& keys, Handler& handler, HostApplication& application)
        : transcript(transcript), keys(keys), handler(handler), application(application) {}

    Transcript& transcript;
    KeyWatcher& keys;
    Handler& handler;
    HostApplication& application;
    int speedBefore = ReadPointerSpeed();
};

// A press with no flip shown: Execute starts one.  True when it did.
bool PressStartsFlip(FlipStage& stage)
{
    const int32_t result = stage.handler.Execute(stage.application.MakeContext().get());
    if (!stage.transcript.Step(result == 1, "button pressed: Execute returned %d", static_cast<int>(result)))
        return false;  // no flip to watch
    bool ok = true;
    std::string seen;
    // All are in when Execute returns: no wait.
    const bool keysSeen = stage.keys.TakeExactly(FlipStartKeys(), 0, seen);
    ok &= stage.transcript.Step(keysSeen, "keys seen: %s; the flip is shown, every key up before Execute returned",
                                seen.c_str());
    const int speed = ReadPointerSpeed();
    ok &= stage.transcript.Step(speed == 2, "pointer slowed while the flip shows: Windows' pointer speed %d of 20 "
                                "(the plug-in's setting 1, its slowest), was %d",
                                speed, stage.speedBefore);
    return ok;
}

// Polls the pointer speed until it is `speed`; true when it got there in time.
bool WaitForPointerSpeed(int speed, DWORD timeoutMs)
{
    for (DWORD waited = 0; waited < timeoutMs; waited += 10) {
        if (ReadPointerSpeed() == speed)
            return true;
        Sleep(10);
    }
    return ReadPointerSpeed() == speed;
}

// After whatever ends the flip: the Windows key released, the speed back.
void ExpectFlipEnded(FlipStage& stage)
{
    const bool restored = WaitForPointerSpeed(stage.speedBefore, kFlipEndWait);
    std::string seen;
    const bool keysSeen = stage.keys.TakeExactly(FlipEndKeys(), kKeyWait, seen);
    stage.transcript.Step(keysSeen, "keys seen: %s; the flip is over", seen.c_str());
    stage.transcript.Step(restored, "pointer speed back to %d", ReadPointerSpeed());
    // The flip is over a moment after the speed is back; a press within that
    // moment would meet the flip still ending instead of starting one.  A
    // person is never that quick; the script is.
    Sleep(250);
}

void ShowFlipAndSecondPress(FlipStage& stage, DemoWindow& editor, std::optional<DemoWindow>& other)
{
    // Started before the press, behind the editor: a flip with no switch for
    // 4 s ends by itself, and a cold start can take that long.
    other.emplace(L"tarvel-demo-viewer.exe");
    editor.Raise();
    if (PressStartsFlip(stage)) {
        stage.transcript.Step(other->Raise(), "another application, tarvel-demo-viewer.exe, came to the front");
        ExpectFlipEnded(stage);
    }
    stage.transcript.Section("A second press ends a flip");
    if (PressStartsFlip(stage)) {
        const int32_t result = stage.handler.Execute(stage.application.MakeContext().get());
        stage.transcript.Step(result == 0, "button pressed again: Execute returned %d (the plug-in's line above names no "
                              "application: the press, not a switch, ended the flip)",
                              static_cast<int>(result));
        ExpectFlipEnded(stage);
    }
}

// The switcher of Windows 10 and 11 stays open once the keys are up, and its
// windows belong to explorer.exe, like the desktop and every Explorer window.
// A stand-in explorer.exe plays both: the flip starts from its Explorer
// window, shows behind its switcher window and ends when the user picks the
// Explorer window again.
void ShowSwitcherFlip(FlipStage& stage)
{
    stage.transcript.Section("Behind the switcher of Windows 10 and 11 (a stand-in explorer.exe)");
    DemoWindow explorer(L"explorer.exe", L"XamlExplorerHostIslandWindow");
    if (!stage.transcript.Step(explorer.InFront(), "an Explorer window of explorer.exe is in front") ||
        !PressStartsFlip(stage))
        return;
    stage.transcript.Step(explorer.ShowSwitcher(),
                          "the switcher came to the front: a window of class XamlExplorerHostIslandWindow");
    Sleep(1000);  // a user looking at the switcher for a second
    const int speed = ReadPointerSpeed();
    stage.transcript.Step(speed == 2, "the flip stays shown behind the switcher: pointer speed %d of 20 (setting 1)",
                          speed);
    stage.transcript.Step(explorer.Raise(), "the user picked an Explorer window of the same explorer.exe");
    const DWORD picked = GetTickCount();
    const bool restored = WaitForPointerSpeed(stage.speedBefore, kFlipEndWait);
    stage.transcript.Step(restored, "the pick ended the flip at once (%lu ms): pointer speed back to %d",
                          GetTickCount() - picked, ReadPointerSpeed());
    std::string seen;
    stage.transcript.Step(stage.keys.TakeExactly(FlipEndKeys(), 0, seen), "keys seen since: %s; none at the pick",
                          seen.c_str());
}

// A flip whose keys went nowhere (a game that turns the Windows key off, an
// elevated window in front): no switch comes, and the flip ends by itself.
void ShowFlipThatNeverShowed(FlipStage& stage)
{
    stage.transcript.Section("A flip that never showed ends by itself");
    DemoWindow editor(L"tarvel-demo-editor.exe");
    stage.transcript.Step(editor.InFront(), "an application, tarvel-demo-editor.exe, is in front");
    Sleep(1000);  // its own switch to the front is long reported
    const DWORD pressed = GetTickCount();
    if (!PressStartsFlip(stage))
        return;
    stage.transcript.Note("nothing comes to the front, as when a game has turned the Windows key off");
    const bool restored = WaitForPointerSpeed(stage.speedBefore, kFlipEndWait);
    stage.transcript.Step(restored, "the flip ended by itself %lu ms after the press: pointer speed back to %d",
                          GetTickCount() - pressed, ReadPointerSpeed());
    std::string seen;
    stage.transcript.Step(stage.keys.TakeExactly(FlipEndKeys(), kKeyWait, seen), "keys seen: %s", seen.c_str());
}

void ShowFlip(PluginLibrary& plugin, Transcript& transcript)
{
    transcript.Section("A window flip, with desktop composition on");
    RequestComposition(true);
    if (!SystemCompositionEnabled()) {
        transcript.Skip("composition is off on this desktop and cannot be turned on here");
        return;
    }
    if (!DemoHelpersPresent()) {
        transcript.Skip("the applications it brings to the front come with a build of the source, not with "
                        "the package");
        return;
    }
    KeyWatcher keys;
    if (!transcript.Step(keys.Installed(), "a keyboard hook watches the keys"))
        return;
    DemoWindow editor(L"tarvel-demo-editor.exe");
    transcript.Step(editor.InFront(), "an application, tarvel-demo-editor.exe, is in front");
    // Declared in this order so that they go in the reverse one: the handler
    // first, then what a flip it left behind holds, then the application.
    HostApplication application;
    const FlipCleanup cleanup(transcript, application.Mouse());
    // Kept until the end: on Windows its exit would bring another window to
    // the front, which would end the second flip before its press.
    std::optional<DemoWindow> other;
    HostServiceChain hostObject;
    Handler handler = CreateBoundHandler(plugin, transcript, hostObject);
    if (!handler)
        return;
    FlipStage stage(transcript, keys, handler, application);
    ShowFlipAndSecondPress(stage, editor, other);
    ShowSwitcherFlip(stage);
    ShowFlipThatNeverShowed(stage);
}

void ShowSwitcherOpened(Transcript& transcript);

// From Windows 8 composition is always on, though DwmIsCompositionEnabled
// tells "off" to a host whose manifest does not name Windows 8: such a host
// gets the flip all the same.
void ShowFlipWithCompositionAnsweredOff(PluginLibrary& plugin, Transcript& transcript)
{
    transcript.Section("Windows 8 and later, a host told that composition is off, gets the flip");
    RequestComposition(false);
    if (SystemCompositionEnabled() || !DemoHelpersPresent()) {
        transcript.Skip("composition cannot be answered off here, or the helper applications are missing");
        return;
    }
    KeyWatcher keys;
    DemoWindow editor(L"tarvel-demo-editor.exe");
    HostApplication application;
    const FlipCleanup cleanup(transcript, application.Mouse());
    HostServiceChain hostObject;
    Handler handler = CreateBoundHandler(plugin, transcript, hostObject);
    if (!handler || !transcript.Step(keys.Installed() && editor.InFront(), "an application is in front"))
        return;
    FlipStage stage(transcript, keys, handler, application);
    if (PressStartsFlip(stage)) {
        const int32_t result = handler.Execute(application.MakeContext().get());
        transcript.Step(result == 0, "button pressed again: Execute returned %d", static_cast<int>(result));
        ExpectFlipEnded(stage);
    }
    transcript.Step(FindWindowW(L"TarvelAppSwitcher", nullptr) == nullptr, "no app switcher was started");
}

void ShowLaunch(PluginLibrary& plugin, Transcript& transcript)
{
    if (ReadRunningWindowsVersion() >= 0x0602) {
        ShowFlipWithCompositionAnsweredOff(plugin, transcript);
        return;
    }
    transcript.Section("The app switcher, with desktop composition off");
    RequestComposition(false);
    if (SystemCompositionEnabled()) {
        transcript.Skip("composition is on on this desktop and cannot be turned off here");
        return;
    }
    transcript.Note("the host's app switcher: %s", Narrow(HostFolder() + L"Pluggins\\ZeltoAppSwitcher.exe").c_str());

    HostApplication application;
    HostServiceChain hostObject;
    {
        Handler handler = CreateBoundHandler(plugin, transcript, hostObject);
        if (!handler)
            return;
        const int32_t result = handler.Execute(application.MakeContext().get());
        if (transcript.Step(result == 1, "button pressed: Execute returned %d", static_cast<int>(result)))
            ShowSwitcherOpened(transcript);
        transcript.Step(application.Translator().Calls() == 1, "the plug-in asked the host's translator once");
    }
}

// The app switcher's window, titled with the host's prompt, closed as a user
// closes it: with Escape.
void ShowSwitcherOpened(Transcript& transcript)
{
    const HWND switcher = WaitForSwitcherWindow();
    wchar_t title[256] = L"";
    if (switcher != nullptr)
        GetWindowTextW(switcher, title, 256);
    transcript.Step(std::wstring(title) == L"Choose the application to switch to",
                    "the app switcher opened, titled with the host's prompt: %s",
                    switcher != nullptr ? Quote(title).c_str() : "(it did not open)");
    if (switcher != nullptr) {
        PostMessageW(switcher, WM_KEYDOWN, VK_ESCAPE, 0);
        transcript.Step(WaitForWindowGone(switcher), "Escape closed the app switcher");
    }
}

}  // namespace

bool RunDemo(PluginLibrary& plugin)
{
    Transcript transcript;
    const std::string version = plugin.Version();
    std::printf("tarvel-host demo of %s, version %s\n", Narrow(plugin.Path()).c_str(),
                version.empty() ? "(no version record)" : version.c_str());
    ShowEntryPoints(plugin, transcript);
    ShowSpellings(plugin, transcript);
    ShowHandlerLifecycle(plugin, transcript);
    ShowFlip(plugin, transcript);
    ShowLaunch(plugin, transcript);
    ShowExclusion(transcript);
    return transcript.Finish();
}
