// The few pieces that code built in the MSVC C++ ABI expects from a static
// runtime library (libcmt/vcruntime), which these modules do without: they
// import the C runtime and the C++ runtime's entry points from ucrtbase.dll,
// which every Windows 10 and 11 installation ships, and nothing from
// vcruntime140.dll, which a machine without the Visual C++ redistributable
// lacks.  Each module of ours that is built in that ABI links this file once.
#include <windows.h>

#include <stddef.h>
#include <stdlib.h>

#include "common/new.h"
#include "strings/atl_exception.h"

// Every RTTI type descriptor, and so every throw and dynamic_cast, points at
// type_info's table.  Nothing calls through it: casts and catches compare the
// descriptors' decorated names, so each module's own copy serves across
// modules.
extern "C" const void* const TarvelTypeInfoTable[1] asm("??_7type_info@@6B@") = {nullptr};

// The C runtime's heap, where MSVC's own operator new and delete end, so an
// object of ours is freed the same way whichever side frees it.
void* operator new(size_t size)
{
    void* block = malloc(size != 0 ? size : 1);
    if (block == nullptr)
        ATL::AtlThrow(E_OUTOFMEMORY);  // where MSVC's would throw std::bad_alloc
    return block;
}
void* operator new[](size_t size) { return operator new(size); }
void operator delete(void* block) noexcept { free(block); }
void operator delete[](void* block) noexcept { free(block); }
void operator delete(void* block, size_t) noexcept { free(block); }
void operator delete[](void* block, size_t) noexcept { free(block); }

const std::nothrow_t std::nothrow{};
void* operator new(size_t size, const std::nothrow_t&) noexcept { return malloc(size != 0 ? size : 1); }
void* operator new[](size_t size, const std::nothrow_t&) noexcept { return malloc(size != 0 ? size : 1); }
void operator delete(void* block, const std::nothrow_t&) noexcept { free(block); }

// Where the compiler sends an exception that meets a noexcept boundary.
// Windows' ucrtbase does not export it (Wine's does), so it is ours.
extern "C" [[noreturn]] void __std_terminate() { abort(); }

// Marks a module that uses floating point; the static runtime would define it.
extern "C" int _fltused = 0;
