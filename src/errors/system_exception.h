#pragma once
#include "errors/com_srv_exception.h"

// An HRESULT whose description is the operating system's own text for it.
class CSystemException : public CSrvExceptionBase {
public:
    CSystemException(HResult status, const char16_t* source);
};

// Raises a CSystemException when the status is negative.
void CheckHResult(HResult status, const char16_t* source);
