#include "tray_mode.h"

#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <memory>
#include <string>

#include "button_hook.h"
#include "common/unique_handle.h"
#include "macro_session.h"
#include "plugin_library.h"
#include "settings.h"
#include "tray_icons.h"

namespace {

// Per user session ("Local\"), owned by the running instance's main thread
// until it has cleaned up: "--quit" waits on it.
const wchar_t kInstanceMutex[] = L"Local\\TarvelHostTray";
constexpr UINT WM_TRAY_ICON = WM_APP + 1;
constexpr UINT WM_BUTTON_PRESSED = WM_APP + 2;
constexpr UINT kIconId = 1;
// At logon the notification area may not answer yet, and no "TaskbarCreated"
// follows when it exists already: the icon is asked for again a few times.
constexpr UINT_PTR kIconRetryTimer = 1;
constexpr UINT kIconRetryMs = 2000;
constexpr int kIconRetries = 15;

using UniqueMenu = UniqueAny<HMENU, &::DestroyMenu>;

const wchar_t* ButtonDescription(MouseButton button)
{
    switch (button) {
    case MouseButton::XButton1: return L"first side button";
    case MouseButton::XButton2: return L"second side button";
    case MouseButton::Middle: return L"middle button";
    }
    return L"?";
}

// The small icon for the notification area, grey while paused; shared
// (LR_SHARED), so never destroyed.
HICON TrayIcon(bool paused)
{
    const int id = paused ? IDI_TARVEL_PAUSED : IDI_TARVEL;
    return static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id), IMAGE_ICON,
                                         GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), LR_SHARED));
}

// The instance: its window, icon, hook and macro, all on the main thread.
class TrayInstance {
public:
    TrayInstance(std::unique_ptr<MacroSession> session, TraySettings settings)
        : m_session(std::move(session)), m_settings(settings)
    {
    }
    ~TrayInstance() { End(); }
    TrayInstance(const TrayInstance&) = delete;
    TrayInstance& operator=(const TrayInstance&) = delete;

    // The window, the icon and the hook; false (with a reason) on failure.
    bool Start(std::string& error);
    // Everything put back; later calls do nothing.  The window goes last so
    // that a caller inside its procedure may still return.  Asked for while
    // the macro runs (a message sent to the window while the plug-in waits),
    // it waits until Execute has returned: the handler must not be destroyed
    // under it.
    void End();

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept;
    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
    void RunMacro();
    void OnCommand(UINT command);
    void ShowMenu();
    void SetButton(MouseButton button);
    void TogglePause();
    std::wstring Tooltip() const;
    // NIM_ADD or NIM_MODIFY with the current tooltip.
    bool ShowIcon(DWORD action);
    // NIM_ADD, and again later while it fails.
    void AddIcon();

    std::unique_ptr<MacroSession> m_session;
    TraySettings m_settings;
    UINT m_taskbarCreated = RegisterWindowMessageW(L"TaskbarCreated");
    HWND m_window = nullptr;  // destroyed last in End
    bool m_iconShown = false;
    int m_iconRetriesLeft = kIconRetries;
    bool m_pressing = false;     // inside the plug-in's Execute
    bool m_endDeferred = false;  // End was asked for meanwhile
    std::unique_ptr<ButtonHook> m_hook;
};

bool TrayInstance::Start(std::string& error)
{
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = &TrayInstance::WindowProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = kTrayWindowClass;
    RegisterClassExW(&windowClass);
    // Top-level and never shown: the session's end is sent to top-level windows only.
    m_window = CreateWindowExW(0, kTrayWindowClass, L"Tarvel", WS_OVERLAPPED, 0, 0, 0, 0, nullptr, nullptr,
                               GetModuleHandleW(nullptr), this);
    if (m_window == nullptr) {
        error = "cannot create its window (" + DescribeError(GetLastError()) + ")";
        return false;
    }
    m_hook = std::make_unique<ButtonHook>(m_window, 0, WM_BUTTON_PRESSED, m_settings.button, m_settings.paused);
    if (!m_hook->Installed()) {
        error = "cannot install the mouse hook (" + DescribeError(GetLastError()) + ")";
        return false;
    }
    // Running elevated, it would not hear of a restarted taskbar otherwise
    // (the system filters messages from lower rights).
    ChangeWindowMessageFilterEx(m_window, m_taskbarCreated, MSGFLT_ALLOW, nullptr);
    // Without a notification area yet (early at logon) the icon comes with
    // the taskbar's "TaskbarCreated", or with a retry.
    AddIcon();
    return true;
}

void TrayInstance::End()
{
    if (m_pressing) {
        m_endDeferred = true;
        return;
    }
    m_hook.reset();
    if (m_iconShown) {
        NOTIFYICONDATAW icon{};
        icon.cbSize = sizeof(icon);
        icon.hWnd = m_window;
        icon.uID = kIconId;
        Shell_NotifyIconW(NIM_DELETE, &icon);
        m_iconShown = false;
    }
    if (m_session)
        m_session->End();
    if (m_window != nullptr) {
        HWND window = m_window;
        m_window = nullptr;  // WM_DESTROY comes back here
        DestroyWindow(window);
    }
}

LRESULT CALLBACK TrayInstance::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept
{
    if (message == WM_NCCREATE) {
        auto* self = static_cast<TrayInstance*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<TrayInstance*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self != nullptr && self->m_window == window) {
        // Nothing may leave a window procedure: the system would carry the
        // exception through its own frames, or drop it.
        try {
            return self->Handle(message, wParam, lParam);
        } catch (...) {
            return 0;
        }
    }
    // Being destroyed by End(), which has let go of it already.
    if (message == WM_DESTROY)
        PostQuitMessage(0);
    return DefWindowProcW(window, message, wParam, lParam);
}

LRESULT TrayInstance::Handle(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_BUTTON_PRESSED:
        RunMacro();
        return 0;
    case WM_TRAY_ICON:
        if (LOWORD(lParam) == WM_RBUTTONUP || LOWORD(lParam) == WM_LBUTTONUP || LOWORD(lParam) == WM_CONTEXTMENU)
            ShowMenu();
        return 0;
    case WM_COMMAND:
        OnCommand(LOWORD(wParam));
        return 0;
    case WM_QUERYENDSESSION:
        return TRUE;
    case WM_ENDSESSION:
        // The process may be ended as soon as this returns: put everything back now.
        if (wParam)
            End();
        return 0;
    case WM_TIMER:
        if (wParam == kIconRetryTimer) {
            KillTimer(m_window, kIconRetryTimer);
            AddIcon();
        }
        return 0;
    case WM_CLOSE:  // Quit, "--quit", taskkill
        End();
        return 0;
    default:
        if (message == m_taskbarCreated && m_taskbarCreated != 0) {
            AddIcon();
            return 0;
        }
        return DefWindowProcW(m_window, message, wParam, lParam);
    }
}

void TrayInstance::RunMacro()
{
    m_pressing = true;
    try {
        m_session->Press(m_settings.button);
    } catch (...) {
        m_pressing = false;
        throw;
    }
    m_pressing = false;
    if (m_endDeferred)
        End();
}

void TrayInstance::OnCommand(UINT command)
{
    switch (command) {
    case TrayCommandXButton1: SetButton(MouseButton::XButton1); break;
    case TrayCommandXButton2: SetButton(MouseButton::XButton2); break;
    case TrayCommandMiddle: SetButton(MouseButton::Middle); break;
    case TrayCommandPause: TogglePause(); break;
    case TrayCommandAutostart: SetAutostart(!AutostartEnabled()); break;
    case TrayCommandQuit: End(); break;
    default: break;
    }
}

void TrayInstance::ShowMenu()
{
    UniqueMenu menu(CreatePopupMenu());
    if (!menu)
        return;
    AppendMenuW(menu.get(), MF_STRING, TrayCommandXButton1, L"First side button");
    AppendMenuW(menu.get(), MF_STRING, TrayCommandXButton2, L"Second side button");
    AppendMenuW(menu.get(), MF_STRING, TrayCommandMiddle, L"Middle button");
    const UINT chosen = m_settings.button == MouseButton::XButton1   ? TrayCommandXButton1
                        : m_settings.button == MouseButton::XButton2 ? TrayCommandXButton2
                                                                      : TrayCommandMiddle;
    CheckMenuRadioItem(menu.get(), TrayCommandXButton1, TrayCommandMiddle, chosen, MF_BYCOMMAND);
    AppendMenuW(menu.get(), MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu.get(), MF_STRING | (m_settings.paused ? MF_CHECKED : 0), TrayCommandPause, L"Pause");
    AppendMenuW(menu.get(), MF_STRING | (AutostartEnabled() ? MF_CHECKED : 0), TrayCommandAutostart,
                L"Start with Windows");
    AppendMenuW(menu.get(), MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu.get(), MF_STRING, TrayCommandQuit, L"Quit");
    // Without the foreground the menu would not close on a click elsewhere;
    // WM_NULL after it is the documented remedy for a second click.
    POINT cursor{};
    GetCursorPos(&cursor);
    SetForegroundWindow(m_window);
    TrackPopupMenuEx(menu.get(), TPM_RIGHTBUTTON, cursor.x, cursor.y, m_window, nullptr);
    PostMessageW(m_window, WM_NULL, 0, 0);
}

void TrayInstance::SetButton(MouseButton button)
{
    m_settings.button = button;
    m_hook->SetButton(button);
    SaveSettings(m_settings);
    ShowIcon(NIM_MODIFY);
}

void TrayInstance::TogglePause()
{
    m_settings.paused = !m_settings.paused;
    m_hook->SetPaused(m_settings.paused);
    SaveSettings(m_settings);
    ShowIcon(NIM_MODIFY);
}

void TrayInstance::AddIcon()
{
    if (!ShowIcon(NIM_ADD) && m_iconRetriesLeft-- > 0)
        SetTimer(m_window, kIconRetryTimer, kIconRetryMs, nullptr);
}

std::wstring TrayInstance::Tooltip() const
{
    const wchar_t* state = m_settings.paused ? L", paused" : L", on";
    return std::wstring(L"Tarvel: ") + ButtonDescription(m_settings.button) + state;
}

bool TrayInstance::ShowIcon(DWORD action)
{
    const std::wstring tooltip = Tooltip();
    // The window's title says the same, for tools that list windows (and the
    // tests, which cannot read a tooltip back from the notification area).
    SetWindowTextW(m_window, tooltip.c_str());
    NOTIFYICONDATAW icon{};
    icon.cbSize = sizeof(icon);
    icon.hWnd = m_window;
    icon.uID = kIconId;
    icon.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    icon.uCallbackMessage = WM_TRAY_ICON;
    icon.hIcon = TrayIcon(m_settings.paused);
    lstrcpynW(icon.szTip, tooltip.c_str(), ARRAYSIZE(icon.szTip));
    const bool shown = Shell_NotifyIconW(action, &icon) != FALSE;
    if (action == NIM_ADD)
        m_iconShown = shown;
    return shown;
}

// A problem at start, where the user can see it: standard error if there is
// one, else a message box (a double click has no console).
void ReportFailure(const std::string& error)
{
    HANDLE errors = GetStdHandle(STD_ERROR_HANDLE);
    if (errors != nullptr && errors != INVALID_HANDLE_VALUE && GetFileType(errors) != FILE_TYPE_UNKNOWN) {
        std::fprintf(stderr, "tarvel-host: %s\n", error.c_str());
        return;
    }
    std::wstring text(error.size(), L'\0');  // UTF-8 never has fewer bytes than UTF-16 units
    text.resize(static_cast<size_t>(MultiByteToWideChar(CP_UTF8, 0, error.data(), static_cast<int>(error.size()),
                                                        text.data(), static_cast<int>(text.size()))));
    MessageBoxW(nullptr, text.c_str(), L"Tarvel", MB_OK | MB_ICONERROR);
}

void PumpMessages()
{
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

}  // namespace

int RunTrayMode()
{
    std::string error;
    UniqueHandle instance(CreateMutexW(nullptr, TRUE, kInstanceMutex));
    if (!instance) {
        ReportFailure("cannot tell whether it runs already (" + DescribeError(GetLastError()) + ")");
        return 1;
    }
    if (GetLastError() == ERROR_ALREADY_EXISTS)
        return 0;  // the one that runs already does the work
    std::unique_ptr<PluginLibrary> plugin = PluginLibrary::Load(DefaultPluginPath(), error);
    std::unique_ptr<MacroSession> session = plugin ? MacroSession::Begin(plugin, L"Tarvel", error) : nullptr;
    if (!session) {
        ReportFailure(error);
        return 2;
    }
    const TraySettings settings = LoadSettings();
    int exitCode = 0;
    {
        TrayInstance tray(std::move(session), settings);
        if (tray.Start(error)) {
            // Only where someone reads it: started with its output redirected
            // (a script, the tests); from Explorer it has nowhere to go.
            std::printf("tarvel-host: in the notification area, \"Tarvel\" runs on %s\n",
                        MouseButtonName(settings.button));
            std::fflush(stdout);
            PumpMessages();
        } else {
            ReportFailure(error);
            exitCode = 1;
        }
    }  // everything put back here, if the session's end has not done it already
    ReleaseMutex(instance.get());
    return exitCode;
}

int QuitRunningInstance()
{
    UniqueHandle instance(OpenMutexW(SYNCHRONIZE, FALSE, kInstanceMutex));
    if (!instance) {
        std::printf("tarvel-host: no instance runs\n");
        return 1;
    }
    // One that is still starting has its window within moments.
    HWND window = nullptr;
    for (int i = 0; i < 200 && (window = FindWindowW(kTrayWindowClass, nullptr)) == nullptr; ++i) {
        if (WaitForSingleObject(instance.get(), 50) != WAIT_TIMEOUT)
            return 0;  // it ended meanwhile
    }
    if (window != nullptr)
        PostMessageW(window, WM_CLOSE, 0, 0);
    const DWORD ended = WaitForSingleObject(instance.get(), 30000);
    if (ended == WAIT_OBJECT_0 || ended == WAIT_ABANDONED)
        return 0;
    std::printf("tarvel-host: the running instance did not end\n");
    return 1;
}
