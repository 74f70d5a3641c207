#include "platform/last_error.h"

#include <windows.h>

namespace platform {

std::uint32_t GetLastErrorValue() {
    return GetLastError();
}

void SetLastErrorValue(std::uint32_t value) {
    SetLastError(value);
}

std::uint32_t Win32ErrorOf(const std::error_code& code) {
    if (code.category() == std::system_category()) {
        return static_cast<std::uint32_t>(code.value());  // GetLastError's value
    }
    return Win32ErrorFromErrno(code.value());
}

}  // namespace platform
