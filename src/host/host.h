// What the plug-in requires of its host: the record passed to Execute and the
// host objects it reaches from there.
//
// Call protocol.  Every pointer the host hands in is borrowed: the plug-in
// never deletes, releases or keeps a reference on these objects beyond what is
// said here.  The application object must outlive a window flip and may be
// called on the plug-in's foreground-monitor thread, which is where a flip is
// completed when another application comes to the front.
//
// The operations are called by their position in each virtual table, so host
// and plug-in must be built with the same C++ ABI (this build: GCC's, as
// mingw-w64 produces it).
#pragma once

#include <cstdint>

#include "strings/res_string.h"

// A device of the host.  Polymorphic so that the plug-in can ask, by run-time
// type, whether it is a pointing device.
class IDevice {
public:
    virtual ~IDevice() = default;
};

// A pointing device with one setting whose valid values are 1 to 10.
class IPointingDevice : public IDevice {
public:
    virtual int GetSetting() = 0;
    virtual void SetSetting(int value) = 0;  // takes effect at once
};

// The host's translation service.
class ITranslator {
public:
    // Writes the translation of `key` into `text`.  The key is the callee's own
    // copy.  The result is not used by the plug-in.
    virtual bool Translate(CResString key, CResString& text) = 0;

protected:
    ~ITranslator() = default;
};

// The host application object.
class IApplication {
public:
    virtual ITranslator* GetTranslator() = 0;                  // may be null
    virtual IDevice* GetDevice(uint64_t deviceId) = 0;        // may be null

protected:
    ~IApplication() = default;
};

// The host's record of one macro run, passed by pointer to Execute and only
// read by the plug-in.
struct MacroContext {
    IDevice* Device = nullptr;            // the device whose button ran the macro
    IApplication* Application = nullptr;  // the host application object
    uint64_t DeviceId = 0;                // opaque; handed back to GetDevice
    CResString HostFolder;                // the host's folder, with a trailing backslash
};
