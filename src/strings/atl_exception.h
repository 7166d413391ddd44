// The exception that the plug-in raises when memory is short: a failed
// platform string allocation, or a string or object that cannot be allocated.
//
// Its run-time type is ATL's own (ATL::CAtlException, one HRESULT), so a host
// catches it by that type whether it uses this declaration or ATL's.  A host
// that uses ATL includes ATL's headers first; this header then adds nothing.
//
// The plug-in throws it by value, only with E_OUTOFMEMORY (0x8007000E), when
// memory is short: out of Execute once the flip is over, and out of any
// CResString operation that needs a buffer.  Destroy lets nothing out.
// A host catches it with catch (const ATL::CAtlException& error) and reads
// the code as static_cast<HRESULT>(error).
#pragma once

#include <windows.h>

#ifndef __ATLEXCEPT_H__

namespace ATL {

class CAtlException {
public:
    explicit CAtlException(HRESULT result) noexcept : m_hr(result) {}
    operator HRESULT() const noexcept { return m_hr; }

    HRESULT m_hr;
};

// Raises CAtlException with `result`.
[[noreturn]] inline void AtlThrow(HRESULT result) { throw CAtlException(result); }

}  // namespace ATL

#endif
