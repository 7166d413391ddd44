/* tarvel_probe.dll: the plug-in's foreground monitor and flip, linked from
 * the plug-in's own sources in the MSVC C++ ABI, behind a plain C interface
 * for the GoogleTest suite (mingw-w64), which cannot call their C++ members.
 * The probe holds its own copy of the process-wide state, apart from any
 * tarvel.dll loaded beside it.
 * Foreground callbacks are plain C functions and pass through unchanged.  A
 * C++ exception that leaves the monitor is caught here and its HRESULT
 * returned (0 when none left). */
#ifndef TARVEL_PROBE_H
#define TARVEL_PROBE_H

#include <stdint.h>
#include <wchar.h>

#ifdef TARVEL_PROBE_BUILDING
#define PR_API __declspec(dllexport)
#else
#define PR_API __declspec(dllimport)
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef void (*PrForegroundCallback)(wchar_t* processName, uintptr_t context);

/* CForegroundMonitor::GetInstance; *monitor receives it (null when it threw). */
PR_API int32_t PrGetInstance(void** monitor);
PR_API int32_t PrDestroyInstance(void);
PR_API int32_t PrRegisterCallback(void* monitor, PrForegroundCallback callback, uintptr_t context);
PR_API int32_t PrUnregisterCallback(void* monitor, PrForegroundCallback callback, uintptr_t context);

/* The flip.  `record` is a host record (MacroContext) of tarvel-bridge.dll
 * (TbContextRecord); its application becomes the flip's. */
PR_API int32_t PrStartFlip(void* record);
PR_API int32_t PrEndFlipFromHost(void);
PR_API int32_t PrOnForegroundChanged(wchar_t* name, uintptr_t context);
/* The flip's phase: 0 idle, 1 starting, 2 showing, 3 completing. */
PR_API int32_t PrFlipPhase(void);

#ifdef __cplusplus
}
#endif

#endif
