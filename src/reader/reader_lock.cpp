#include "reader/reader_lock.h"

#include "errors/hresult.h"
#include "errors/system_exception.h"
#include "platform/last_error.h"

void ThrowReaderLockFailure(const std::error_code& code) {
    throw CSystemException(HResultFromWin32(platform::Win32ErrorOf(code)), kSourceReaderBase);
}
