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

// The HRESULT for an error number of the runtime's size-limited memory copy.
inline HResult HResultFromCopyErrno(int error) {
    switch (error) {
        case 0:
        case 80:  // truncation is no error
            return 0;
        case 12:
            return kEOutOfMemory;
        case 22:
        case 34:
            return kEInvalidArg;
        default:
            return kEFail;
    }
}
