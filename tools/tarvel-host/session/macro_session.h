// A plug-in's macro bound to the host and run on button presses, for the
// modes that use the plug-in for real (the console's button mode and the
// notification-area mode).  End() is the one way out of every such mode: the
// handler is destroyed, the plug-in unloaded, the Windows key up and the
// pointer speed and scroll lines back.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "button_hook.h"
#include "host_objects.h"
#include "plugin_library.h"

class MacroSession {
public:
    // Creates `macro` of `plugin` and binds it; null with one sentence in
    // `error` when the plug-in offers no such macro.  The session owns the
    // plug-in from then on and unloads it in End().
    static std::unique_ptr<MacroSession> Begin(std::unique_ptr<PluginLibrary>& plugin, const std::wstring& macro,
                                               std::string& error);
    ~MacroSession() { End(); }
    MacroSession(const MacroSession&) = delete;
    MacroSession& operator=(const MacroSession&) = delete;

    // Which of the host's devices the next presses give the plug-in
    // (HostApplication::MouseId, the default, or WheelId).
    void SetDevice(uint64_t deviceId) { m_deviceId = deviceId; }
    // Runs the macro for one press of `button` and prints what it did; an
    // exception the plug-in lets out is reported and the session goes on.
    void Press(MouseButton button);
    // Puts everything back and unloads the plug-in, printing what it had to
    // undo; later calls do nothing.
    void End();

private:
    explicit MacroSession(std::unique_ptr<PluginLibrary> plugin) : m_plugin(std::move(plugin)) {}

    std::unique_ptr<PluginLibrary> m_plugin;  // first: unloaded after everything the plug-in made
    HostApplication m_application;
    HostServiceChain m_hostObject;
    std::optional<Handler> m_handler;  // empty once ended
    uint64_t m_deviceId = HostApplication::MouseId;
};
