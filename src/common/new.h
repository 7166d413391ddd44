// The allocation functions that <new> would declare; src/common/msvc_runtime.cpp
// defines them on the C runtime's heap.  Plain new throws
// ATL::CAtlException(E_OUTOFMEMORY) when memory is short (there is no
// std::bad_alloc without a C++ library); nothrow new answers null.
#pragma once

#include <stddef.h>

namespace std {
struct nothrow_t {
    explicit nothrow_t() = default;
};
extern const nothrow_t nothrow;
}  // namespace std

void* operator new(size_t size, const std::nothrow_t&) noexcept;
void* operator new[](size_t size, const std::nothrow_t&) noexcept;
void operator delete(void* block, const std::nothrow_t&) noexcept;

inline void* operator new(size_t, void* place) noexcept { return place; }
inline void operator delete(void*, void*) noexcept {}
