// The exception that a failed platform string allocation raises.
#pragma once

#include <windows.h>

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
