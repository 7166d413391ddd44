// What the plug-in requires of its host: the record passed to Execute and the
// host objects it reaches from there.
//
// Call protocol.  Every pointer the host hands in is borrowed: the plug-in
// never deletes, releases or keeps a reference on these objects beyond what is
// said here.  The application object must outlive a window flip and may be
// called on the plug-in's foreground-monitor thread, which is where a flip is
// completed when another application comes to the front.
//
// ABI.  The operations are called by their position in each virtual table and
// the record's layout is fixed below, both as the MSVC C++ ABI lays them out
// (a host built with Microsoft's compiler in release mode, or with clang for
// x86_64-pc-windows-msvc).  The plug-in finds a device's IPointingDevice with
// dynamic_cast, so a host keeps run-time type information on (/GR, the
// default).  An exception a host object throws passes through the plug-in's
// frames back to the host's caller of Execute.
#pragma once

#include <stddef.h>
#include <stdint.h>

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
    // Writes the translation of `key` into `text`.  The key is passed by
    // value: under the MSVC ABI the callee (the host) destroys its copy, so
    // the host frees a string the plug-in built, and the plug-in frees the
    // text that the host grew.  The result is not used by the plug-in.
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
    CResString HostFolder;                // the host's folder (empty: its executable's)
};

static_assert(offsetof(MacroContext, Device) == 0);
static_assert(offsetof(MacroContext, Application) == 8);
static_assert(offsetof(MacroContext, DeviceId) == 16);
static_assert(offsetof(MacroContext, HostFolder) == 24);
static_assert(sizeof(MacroContext) == 64);
