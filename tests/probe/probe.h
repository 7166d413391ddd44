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

/* A report to the flip's watch: the name, the kind of window in front (0 an
 * application's, 1 Explorer's transient one, 2 the switcher) and the flip. */
typedef void (*PrWatchReport)(wchar_t* name, int32_t kind, uint32_t flip);

/* CForegroundMonitor: made and started (Acquire, then Release); destroyed,
 * waiting up to waitMs for its thread; the watch, each call holding a
 * reference on the monitor for its length. */
PR_API int32_t PrStartMonitor(void);
PR_API int32_t PrDestroyInstance(uint32_t waitMs);
PR_API int32_t PrStartWatch(PrWatchReport report, uint32_t flip, uint32_t neverShownMs);
PR_API int32_t PrEndWatch(uint32_t flip);

/* The flip.  `record` is a host record (MacroContext) of tarvel-bridge.dll
 * (TbContextRecord); its application becomes the flip's. */
PR_API int32_t PrStartFlip(void* record);
PR_API int32_t PrEndFlipFromHost(void);
PR_API int32_t PrOnForegroundChanged(wchar_t* name, int32_t kind, uint32_t flip);
/* The number of the latest flip, which its watch's reports carry. */
PR_API uint32_t PrFlipNumber(void);
/* The flip's phase: 0 idle, 1 starting, 2 showing, 3 completing. */
PR_API int32_t PrFlipPhase(void);

#ifdef __cplusplus
}
#endif

#endif
