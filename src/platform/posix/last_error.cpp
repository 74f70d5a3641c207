#include "platform/last_error.h"

namespace platform {

namespace {
thread_local std::uint32_t tLastError = kErrorSuccess;
}

std::uint32_t GetLastErrorValue() {
    return tLastError;
}
void SetLastErrorValue(std::uint32_t value) {
    tLastError = value;
}

std::uint32_t Win32ErrorOf(const std::error_code& code) {
    // Both categories carry errno values here.
    return Win32ErrorFromErrno(code.value());
}

}  // namespace platform
