// The macro object model shared by host and plug-in.
//
// Call protocol.  CreateMacro (plugin/exports.h) returns a new handler as an
// IHandler pointer and the host owns it from then on.  A host, in order:
//   1. SetHost(value, hostObject): binds the handler to the host (optional;
//      may be repeated, each call replaces both).  Serialise it with Lock and
//      Unlock if another thread may use the same handler meanwhile.
//   2. Execute(&context) each time the button bound to the macro fires.
//   3. Lock/Unlock around its own work with the handler, the queries and
//      Reset, as it needs them, in any order.
//   4. static_cast<IInterface*>(handler)->Destroy() last, when the button is
//      rebound or the host exits: it ends a flip still showing (the setting
//      back, the Windows key up) and frees the handler.  A flip's end that
//      is running on the plug-in's own thread at that moment is waited for
//      at most 3 s (sent messages are still answered meanwhile), so a host
//      that holds a lock around Destroy which its device also takes gets its
//      thread back.  Never delete a handler: only Destroy frees it, with the
//      plug-in's own allocator.
// No operation needs another to have been called first, and none may be
// called after Destroy.  The host must not run Destroy of any handler while
// Execute of any handler runs.
//
// Nothing to link.  Every operation a host calls is virtual, so a call
// compiles to a call through the handler's table and the host links nothing
// of the plug-in: IHandler's operations directly, CHandler's (QueryExtraOption,
// Lock, Unlock) after static_cast<CHandler*>(handler), which does not move
// the pointer (IHandler is CHandler's first, non-virtual base), and Destroy
// after static_cast<IInterface*>(handler), which follows the virtual-base
// pointer.  CHandler's constructor and destructor are the plug-in's: a host
// never constructs, derives from or deletes a CHandler.
//
// The host calls these operations by their position in the virtual tables, so
// neither their order nor the classes' bases may change.  The tables are those
// of the MSVC C++ ABI (Microsoft's compiler, clang-cl, or clang for
// x86_64-pc-windows-msvc), which is what hosts of this kind are built with:
// - IHandler, whose base is virtual, has a table of its own at offset 0 of the
//   handler: QueryOption, Execute, GetKind, SetHost, GetHostValue, Reset,
//   QueryHost; CHandler appends QueryExtraOption, Lock, Unlock to it.
// - The virtual base IMacro/IInterface keeps its own table, [Destroy]; reach
//   it by an ordinary conversion (static_cast<IInterface*>(handler)), which
//   follows the virtual-base pointer.
// - CMacro's virtual destructor lives in CMacro's own table.
// A host built with GCC's C++ ABI (mingw-w64) lays these tables out otherwise
// and cannot drive the plug-in.
#pragma once

#include <windows.h>

#include <stdint.h>

struct MacroContext;

// The chain of host objects that CHandler::QueryHost follows:
// QueryHost(a, b, c) answers hostObject->QueryService(a, b, c)->GetProvider()
// ->GetValue(), or 0 as soon as a link is null.  Only the positions of
// QueryService (second), GetProvider (seventh) and GetValue (fourth) are
// fixed.  Reserved1 to Reserved6 stand for whatever operations the host's own
// interfaces put before them: the plug-in never calls them, and a host that
// has nothing there implements them with empty bodies.  The plug-in itself
// never calls QueryHost; a host that does not use it passes a null host
// object, and QueryHost then answers 0.
class IHostProvider {
public:
    virtual void Reserved1() = 0;
    virtual void Reserved2() = 0;
    virtual void Reserved3() = 0;
    virtual uintptr_t GetValue() = 0;  // fourth operation: QueryHost's answer, unchanged

protected:
    ~IHostProvider() = default;
};

class IHostService {
public:
    virtual void Reserved1() = 0;
    virtual void Reserved2() = 0;
    virtual void Reserved3() = 0;
    virtual void Reserved4() = 0;
    virtual void Reserved5() = 0;
    virtual void Reserved6() = 0;
    virtual IHostProvider* GetProvider() = 0;  // seventh operation; null ends the chain with 0

protected:
    ~IHostService() = default;
};

// The object a host passes to SetHost (as a pointer to this interface:
// static_cast<IHostObject*>(object), converted to void*).
class IHostObject {
public:
    virtual void Reserved1() = 0;
    // Second operation: receives QueryHost's three arguments unchanged; what
    // they mean is the host's own choice.  Null ends the chain with 0.
    virtual IHostService* QueryService(uintptr_t first, uintptr_t second, uintptr_t third) = 0;  // second

protected:
    ~IHostObject() = default;
};

class IInterface {
public:
    // Ends the object: releases what it holds and frees it.  For a handler
    // this is the host's last call; it lets no exception out, so a host may
    // call it from a destructor.
    virtual void Destroy() = 0;

protected:
    ~IInterface() = default;
};

class IMacro : public IInterface {
protected:
    ~IMacro() = default;
};

// The handler as the host holds it.  Slots 0 to 6 of the table at offset 0.
class IHandler : public virtual IMacro {
public:
    // Slot 0.  False, always: a fixed answer, which the plug-in never reads
    // back; what a host makes of it is the host's.
    virtual bool QueryOption() = 0;
    // Slot 1.  Runs the macro for one press of the bound button; `context`
    // (host/host.h) is only read, and only during the call, except that its
    // Application and the device it hands out are called again when a flip
    // ends.  Returns 1 when the press started a window flip, or (desktop
    // composition off) started the host's app switcher, whether or not that
    // program exists; 0 when it ended the flip that was showing (a second
    // press), when it met a flip still starting or ending on another thread
    // and did nothing, or when `context` is null.  An exception that a host
    // object throws, or ATL::CAtlException(E_OUTOFMEMORY), reaches the caller
    // only once the flip is over (no key left down, the setting back).
    virtual int32_t Execute(MacroContext* context) = 0;
    // Slot 2.  1, always: the handler's kind, for the host to read; every
    // handler of this plug-in is of this one kind, and it never reads it back.
    virtual int32_t GetKind() = 0;
    // Slot 3.  Binds the handler: `value` is any pointer-sized value of the
    // host's (its own record of the binding, say), kept and handed back by
    // GetHostValue and never read by the plug-in; `hostObject` is null or an
    // IHostObject (see above), used only by QueryHost.  Both are borrowed,
    // replace what an earlier call gave, and are written without a lock.
    virtual void SetHost(uintptr_t value, void* hostObject) = 0;
    // Slot 4.  The value of the latest SetHost; 0 before any.
    virtual uintptr_t GetHostValue() = 0;
    // Slot 5.  Does nothing: the binding and any flip stay as they are.
    virtual void Reset() = 0;
    // Slot 6.  Asks the host object's second operation with these arguments,
    // that result's seventh operation, and returns that result's fourth
    // operation's answer; 0 as soon as a link is missing (no host object
    // bound included).  The arguments are passed on unchanged.
    virtual uintptr_t QueryHost(uintptr_t first, uintptr_t second, uintptr_t third) = 0;

protected:
    ~IHandler() = default;
};

class CMacro : public virtual IMacro {
public:
    virtual ~CMacro() = default;
};

// The base of the plug-in's handlers, declared so that a host can call the
// three operations it appends: slots 7 to 9 of the table at offset 0, reached
// with static_cast<CHandler*>(handler) and nothing linked (see above).
class CHandler : public IHandler, public virtual CMacro {
public:
    CHandler();  // the plug-in's; a host never constructs one

    bool QueryOption() override;          // false
    int32_t GetKind() override;           // 1
    void SetHost(uintptr_t value, void* hostObject) override;  // hostObject: an IHostObject
    uintptr_t GetHostValue() override;
    void Reset() override;                // does nothing
    uintptr_t QueryHost(uintptr_t first, uintptr_t second, uintptr_t third) override;

    virtual bool QueryExtraOption();      // slot 7; false, always, as QueryOption
    // Slot 8.  Waits up to 2000 ms for the handler's own mutex; true when the
    // caller now holds it (an abandoned mutex counts).  Recursive: each true
    // needs an Unlock on the same thread; after false (2000 ms passed, or the
    // mutex could not be made) the caller holds nothing and calls no Unlock.
    // The plug-in never takes this lock itself: it serialises only the host's
    // own callers that use it.
    virtual bool Lock();
    // Slot 9.  Releases the mutex; always true, also when the caller did not
    // hold it (nothing happens then).
    virtual bool Unlock();

    ~CHandler() override;

    CHandler(const CHandler&) = delete;
    CHandler& operator=(const CHandler&) = delete;

protected:
    uint64_t HostValue = 0;
    void* HostObject = nullptr;
    HANDLE Mutex = nullptr;  // owned: created in the constructor, closed in the destructor
};
