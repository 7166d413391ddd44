// The macro object model shared by host and plug-in.
//
// Call protocol.  CreateMacro returns a new handler as an IHandler pointer and
// the host owns it from then on.  The host may call SetHost to bind it, Execute
// whenever the bound button fires, Lock/Unlock around its own work with it, the
// queries and Reset as it needs them, in any order, and Destroy last.  The host
// never deletes a handler; Destroy ends it.  The host must not run Destroy of
// any handler while Execute of any handler runs.
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
// and cannot drive the plug-in.  A host must never delete a handler: only
// Destroy frees it, with the plug-in's own allocator.
#pragma once

#include <windows.h>

#include <stdint.h>

struct MacroContext;

// The chain of host objects that CHandler::QueryHost follows.  Only the
// positions of QueryService, GetProvider and GetValue are fixed; the Reserved
// operations stand for whatever the host puts before them.
class IHostProvider {
public:
    virtual void Reserved1() = 0;
    virtual void Reserved2() = 0;
    virtual void Reserved3() = 0;
    virtual uintptr_t GetValue() = 0;  // fourth operation

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
    virtual IHostProvider* GetProvider() = 0;  // seventh operation

protected:
    ~IHostService() = default;
};

// The object a host passes to SetHost.
class IHostObject {
public:
    virtual void Reserved1() = 0;
    virtual IHostService* QueryService(uintptr_t first, uintptr_t second, uintptr_t third) = 0;  // second

protected:
    ~IHostObject() = default;
};

class IInterface {
public:
    // Ends the object: releases what it holds and frees it.
    virtual void Destroy() = 0;

protected:
    ~IInterface() = default;
};

class IMacro : public IInterface {
protected:
    ~IMacro() = default;
};

class IHandler : public virtual IMacro {
public:
    virtual bool QueryOption() = 0;
    virtual int32_t Execute(MacroContext* context) = 0;
    virtual int32_t GetKind() = 0;
    virtual void SetHost(uintptr_t value, void* hostObject) = 0;
    virtual uintptr_t GetHostValue() = 0;
    virtual void Reset() = 0;
    // Asks the host object's second operation with these arguments, that
    // result's seventh operation, and returns that result's fourth operation's
    // answer; 0 as soon as a link is missing.
    virtual uintptr_t QueryHost(uintptr_t first, uintptr_t second, uintptr_t third) = 0;

protected:
    ~IHandler() = default;
};

class CMacro : public virtual IMacro {
public:
    virtual ~CMacro() = default;
};

class CHandler : public IHandler, public virtual CMacro {
public:
    CHandler();

    bool QueryOption() override;          // false
    int32_t GetKind() override;           // 1
    void SetHost(uintptr_t value, void* hostObject) override;  // hostObject: an IHostObject
    uintptr_t GetHostValue() override;
    void Reset() override;                // does nothing
    uintptr_t QueryHost(uintptr_t first, uintptr_t second, uintptr_t third) override;

    virtual bool QueryExtraOption();      // false
    // Waits up to 2000 ms for the handler's own mutex; true when the caller now
    // holds it (an abandoned mutex counts).  Recursive: each true needs an Unlock.
    virtual bool Lock();
    // Releases the mutex; always true.
    virtual bool Unlock();

    ~CHandler() override;

    CHandler(const CHandler&) = delete;
    CHandler& operator=(const CHandler&) = delete;

protected:
    uint64_t HostValue = 0;
    void* HostObject = nullptr;
    HANDLE Mutex = nullptr;  // owned: created in the constructor, closed in the destructor
};
