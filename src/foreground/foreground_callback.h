// The shape of a foreground callback.
#pragma once

#include <stdint.h>

// Called with the monitor's own current name (writable, valid for the call)
// and the context given at registration.
using ForegroundCallback = void (*)(wchar_t* processName, uintptr_t context);
