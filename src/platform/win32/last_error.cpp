#include "platform/last_error.h"

#include <windows.h>

namespace platform {

std::uint32_t GetLastErrorValue() {
    return GetLastError();
}

void SetLastErrorValue(std::uint32_t value) {
    SetLastError(value);
}

}  // namespace platform
