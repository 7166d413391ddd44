// What the plug-in requires of its host: the record passed to Execute and the
// host objects it reaches from there.
//
// Call protocol.  The host fills a MacroContext and passes it to Execute on
// each press (macro/macro.h).  What the plug-in calls back, and when:
// - at a press that starts a flip: the context's Device, cast to
//   IPointingDevice, GetSetting then SetSetting(1).  When the last flip's
//   end could not reach its device (GetDevice answered null or threw), the
//   value saved then is kept: for the same device GetSetting is not asked
//   again (the 1 it answers is not the user's); for another one the old
//   device is first given its value back through GetDevice, and the new one
//   is left alone while that fails;
// - when the flip ends (another application in front, a second press,
//   Destroy): Application->GetDevice(DeviceId), then SetSetting with the
//   saved value, on the plug-in's foreground-monitor thread or on the thread
//   of the press or Destroy that ends it;
// - at a press with desktop composition off: Application->GetTranslator(),
//   then Translate("HELP_QUICKSWITCH", prompt) for the app switcher's prompt.
// Every pointer the host hands in is borrowed: the plug-in never deletes,
// releases or keeps a reference on these objects beyond what is said here.
// The application object and its devices must outlive a window flip (until
// the flip's end, or the Destroy of the last handler, has returned).
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

// A pointing device with one setting whose valid values are 1 to 10: the
// plug-in lowers it to 1 while the flip shows and puts the saved value back
// at the flip's end.  It changes nothing when GetSetting answers a value
// outside 1 to 10, or when the context has no Application (through which the
// flip's end would find the device again).  What the setting is (a pointer
// speed, the wheel's scroll lines) is the host's choice.  Called during a
// press, either call may throw: the exception reaches the caller of Execute
// once the flip is over.  Destroy swallows one (the key is up by then).
// Called on the monitor thread it must not throw: nothing there could hand
// the exception to the host.
class IPointingDevice : public IDevice {
public:
    virtual int GetSetting() = 0;
    virtual void SetSetting(int value) = 0;  // takes effect at once
};

// The host's translation service.
class ITranslator {
public:
    // Writes the translation of `key` into `text`, which arrives empty.  The
    // plug-in asks for one key, "HELP_QUICKSWITCH": the prompt it passes,
    // in double quotes, to the host's app switcher; left empty, the switcher
    // gets "".  The key is passed by value: under the MSVC ABI the callee
    // (the host) destroys its copy, so the host frees a string the plug-in
    // built, and the plug-in frees the text that the host grew.  The result
    // is not used by the plug-in.
    virtual bool Translate(CResString key, CResString& text) = 0;

protected:
    ~ITranslator() = default;
};

// The host application object.  A host class derived from it puts its own
// virtual operations after these two.
class IApplication {
public:
    virtual ITranslator* GetTranslator() = 0;                  // may be null
    // The device the plug-in was given with this identifier at the press
    // that started the flip, for putting its setting back: a host answers
    // it for as long as the device exists.  May be called on the monitor
    // thread.
    virtual IDevice* GetDevice(uint64_t deviceId) = 0;        // may be null

protected:
    ~IApplication() = default;
};

// The host's record of one macro run, passed by pointer to Execute and only
// read by the plug-in, during the call.  Any field may be null or empty: the
// flip then shows without changing a setting, and the app switcher's prompt
// is empty.
struct MacroContext {
    IDevice* Device = nullptr;            // the device whose button ran the macro
    IApplication* Application = nullptr;  // the host application object
    uint64_t DeviceId = 0;                // opaque; handed back to GetDevice
    // The host's folder: with composition off the plug-in starts
    // HostFolder + "Pluggins\ZeltoAppSwitcher.exe" (a backslash added when
    // it lacks one; empty: the folder of the host's executable, never the
    // current one).  Nothing happens when that program is missing.
    CResString HostFolder;
};

static_assert(offsetof(MacroContext, Device) == 0);
static_assert(offsetof(MacroContext, Application) == 8);
static_assert(offsetof(MacroContext, DeviceId) == 16);
static_assert(offsetof(MacroContext, HostFolder) == 24);
static_assert(sizeof(MacroContext) == 64);
