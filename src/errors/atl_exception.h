#pragma once
#include "errors/hresult.h"

// The error of the string and buffer utilities: an HRESULT and nothing else.
// Caught beside the hierarchy by the window's command guard.
class CAtlException {
public:
    explicit CAtlException(HResult hr) : hr_(hr) {}
    HResult GetHResult() const { return hr_; }
    operator HResult() const { return hr_; }

private:
    HResult hr_;
};

[[noreturn]] inline void AtlThrow(HResult hr) {
    throw CAtlException(hr);
}
