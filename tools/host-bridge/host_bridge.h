/* tarvel-bridge.dll: a host's side of the plug-in's C++ interface, behind a
 * plain C interface.
 *
 * The plug-in's handlers, the host record and the host objects it calls are
 * C++ objects laid out by the MSVC C++ ABI.  This library is built in that
 * ABI from the SDK headers alone (host/host.h, macro/macro.h,
 * strings/res_string.h), exactly as a host built with Microsoft's compiler
 * would be, and offers them to programs built with any C compiler: the
 * sample host and the test suite, which mingw-w64 builds.
 *
 * - Handlers are the IHandler pointers that the plug-in's CreateMacro returns
 *   (the caller finds CreateMacro itself with GetProcAddress: the entry points
 *   are plain C).  Every operation is called through the declared classes.
 * - Host objects (devices, the application with its translator) are objects
 *   of this library whose operations call back into C functions of the
 *   caller.  A callback may run on the plug-in's foreground-monitor thread.
 * - A C++ exception that leaves the plug-in is caught here, by its type, and
 *   reported in a TbThrow; a device callback may ask for one to be thrown
 *   from the host object, through the plug-in's frames.
 */
#ifndef TARVEL_HOST_BRIDGE_H
#define TARVEL_HOST_BRIDGE_H

#include <stdint.h>
#include <wchar.h>

#ifdef TARVEL_BRIDGE_BUILDING
#define TB_API __declspec(dllexport)
#else
#define TB_API __declspec(dllimport)
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* What left a call: nothing, or an exception of one of these kinds. */
enum TbThrowKind {
    TbNoThrow = 0,
    TbThrewAtlException = 1, /* ATL::CAtlException; code is its HRESULT */
    TbThrewHostError = 2,    /* the exception a device of this library threw; code is the callback's */
    TbThrewOther = 3         /* any other C++ exception */
};

typedef struct TbThrow {
    int32_t kind; /* enum TbThrowKind */
    int32_t code;
} TbThrow;

/* ---- host objects ---- */

typedef struct TbDevice TbDevice;
typedef struct TbApplication TbApplication;
typedef struct TbContext TbContext;
typedef struct TbText TbText; /* a CResString being written by a translator */

/* A pointing device's operations.  A callback that returns non-zero makes the
 * device throw the bridge's host error with that code (after SetSetting's
 * callback has run, the value it was given is what the caller sees). */
typedef struct TbPointingCallbacks {
    void* self;
    int32_t (*GetSetting)(void* self, int32_t* setting);
    int32_t (*SetSetting)(void* self, int32_t setting);
} TbPointingCallbacks;

/* Device layouts: IPointingDevice at offset 0 of the host's object, or behind
 * another polymorphic base, so that the plug-in's dynamic_cast from IDevice
 * must adjust the pointer. */
enum TbDeviceLayout { TbPointingFirst = 0, TbPointingOffset = 1 };

TB_API TbDevice* TbCreatePointingDevice(const TbPointingCallbacks* callbacks, int32_t layout);
/* A device that has no pointing-device interface. */
TB_API TbDevice* TbCreatePlainDevice(void);
TB_API void TbDestroyDevice(TbDevice* device);

typedef struct TbApplicationCallbacks {
    void* self;
    /* The device for an identifier, or null. */
    TbDevice* (*GetDevice)(void* self, uint64_t deviceId);
    /* Null: the application offers no translator (GetTranslator answers null).
     * Otherwise the translator's Translate(key, text): write the text with
     * TbTextAssign/TbTextAppend and return 0; non-zero makes the translator
     * throw the bridge's host error with that code, as a device's does. */
    int32_t (*Translate)(void* self, const wchar_t* key, TbText* text);
    /* Called, if not null, whenever the plug-in asks for the translator. */
    void (*TranslatorRequested)(void* self);
} TbApplicationCallbacks;

TB_API TbApplication* TbCreateApplication(const TbApplicationCallbacks* callbacks);
TB_API void TbDestroyApplication(TbApplication* application);

TB_API void TbTextAssign(TbText* text, const wchar_t* value);
TB_API void TbTextAppend(TbText* text, const wchar_t* value);

/* The host's record of a macro run (MacroContext).  Null device or application
 * leaves the field null; hostFolder null leaves it empty. */
TB_API TbContext* TbCreateContext(TbDevice* device, TbApplication* application, uint64_t deviceId,
                                  const wchar_t* hostFolder);
TB_API void TbDestroyContext(TbContext* context);
/* The MacroContext itself, for a caller that hands it on unchanged. */
TB_API void* TbContextRecord(TbContext* context);
/* Change one field of the record between runs (null: the field becomes null
 * or, for the folder, empty). */
TB_API void TbContextSetDevice(TbContext* context, TbDevice* device);
TB_API void TbContextSetApplication(TbContext* context, TbApplication* application);
TB_API void TbContextSetDeviceId(TbContext* context, uint64_t deviceId);
TB_API void TbContextSetHostFolder(TbContext* context, const wchar_t* hostFolder);

/* The object a host binds to a handler with SetHost (IHostObject of
 * macro/macro.h): a chain of three host objects that QueryHost follows down to
 * `value`, whatever arguments it is given. */
TB_API void* TbCreateHostChain(uintptr_t value);
TB_API void TbDestroyHostChain(void* chain);

/* ---- a handler's operations, through the declared classes ---- */

/* context may be null (Execute then gets a null record). */
TB_API int32_t TbExecute(void* handler, TbContext* context, TbThrow* thrown);
/* Destroy, reached through the virtual base IInterface. */
TB_API void TbDestroy(void* handler, TbThrow* thrown);
TB_API uint8_t TbQueryOption(void* handler);
TB_API int32_t TbGetKind(void* handler);
TB_API void TbSetHost(void* handler, uintptr_t value, void* hostObject);
TB_API uintptr_t TbGetHostValue(void* handler);
TB_API void TbReset(void* handler);
TB_API uintptr_t TbQueryHost(void* handler, uintptr_t first, uintptr_t second, uintptr_t third);
TB_API uint8_t TbQueryExtraOption(void* handler);
TB_API uint8_t TbLock(void* handler);
TB_API uint8_t TbUnlock(void* handler);

#ifdef __cplusplus
}
#endif

#endif
