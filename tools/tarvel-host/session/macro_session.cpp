#include "macro_session.h"

#include <cstdio>

std::unique_ptr<MacroSession> MacroSession::Begin(std::unique_ptr<PluginLibrary>& plugin, const std::wstring& macro,
                                                  std::string& error)
{
    std::unique_ptr<MacroSession> session(new MacroSession(std::move(plugin)));
    Handler handler(session->m_plugin->CreateMacro(macro.c_str()));
    if (!handler) {
        error = Narrow(session->m_plugin->Path()) + " offers no macro named \"" + Narrow(macro) + "\"";
        return nullptr;
    }
    BindHost(handler.Get(), 0, session->m_hostObject);
    session->m_handler.emplace(std::move(handler));
    return session;
}

void MacroSession::Press(MouseButton button)
{
    if (!m_handler)
        return;
    const UniqueBridgeContext context = m_application.MakeContext(m_deviceId);
    const SettingDevice& device = m_application.DeviceFor(m_deviceId);
    const long long before = device.Current();
    int32_t result = 0;
    try {
        result = m_handler->Execute(context.get());
    } catch (const PluginRaised& raised) {
        // A plug-in may let an exception out (out of memory, say); the user's
        // host must survive it and keep the button working.
        std::fflush(stdout);
        std::fprintf(stderr, "tarvel-host: the plug-in's Execute raised an exception (%s); the host goes on\n",
                     DescribeThrow(raised.thrown).c_str());
        return;
    }
    // The plug-in's diagnostic line shares this stream; let it out now.
    std::fflush(stdout);
    std::printf("%s pressed: %s %lld, Execute returned %d, %s now %lld\n", MouseButtonName(button), device.Name(),
                before, static_cast<int>(result), device.Name(), device.Current());
    std::fflush(stdout);
}

void MacroSession::End()
{
    if (!m_handler)
        return;
    m_handler.reset();  // Destroy ends a flip still shown
    // What a plug-in whose Destroy does not end its flip would leave behind.
    // No key: the plug-in holds none, and a Windows key injected up here
    // could only cut into one the user holds.
    for (SettingDevice* device : {static_cast<SettingDevice*>(&m_application.Mouse()), &m_application.Wheel()}) {
        if (device->RestoreIfLowered())
            std::printf("tarvel-host: put back the %s a flip had lowered\n", device->Name());
    }
    m_plugin.reset();
    const SettingDevice& device = m_application.DeviceFor(m_deviceId);
    std::printf("tarvel-host: ended; handler destroyed, plug-in unloaded, %s %lld\n", device.Name(), device.Current());
    std::fflush(stdout);
}
