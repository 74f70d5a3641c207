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

}  // namespace platform
