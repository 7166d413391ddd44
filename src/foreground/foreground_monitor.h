// CForegroundMonitor: watches which executable owns the foreground window and
// tells registered callbacks, by file name, when it changes.
#pragma once

#include <windows.h>

#include <cstdint>

// Called with the monitor's own current name (writable, valid for the call)
// and the context given at registration.
using ForegroundCallback = void (*)(wchar_t* processName, uintptr_t context);

class CForegroundMonitor {
public:
    // The process-wide monitor, created and started on first use.
    static CForegroundMonitor* GetInstance();
    // Stops and frees the monitor, if there is one; registrations are dropped uncalled.
    static void DestroyInstance();

    // Adds (callback, context) and calls it at once, on this thread, with the
    // current foreground name.  An existing pair is left alone and not called.
    void RegisterCallback(ForegroundCallback callback, uintptr_t context);
    // Removes (callback, context) if registered; never calls it.
    void UnregisterCallback(ForegroundCallback callback, uintptr_t context);
};
