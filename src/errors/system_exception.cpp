#include "errors/system_exception.h"

#include <new>

#include "platform/system_message.h"

CSystemException::CSystemException(HResult status, const char16_t* source)
    : CSrvExceptionBase(status, source, nullptr) {
    try {
        SetDescription(platform::SystemMessageForHResult(status));
    } catch (const std::bad_alloc&) {
        // The description stays empty; the error itself must still be raised.
    }
}

void CheckHResult(HResult status, const char16_t* source) {
    if (status < 0) {
        throw CSystemException(status, source);
    }
}
