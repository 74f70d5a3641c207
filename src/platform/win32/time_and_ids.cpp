#include <windows.h>

#include "platform/clock.h"

namespace platform {

LocalTime CurrentLocalTime() {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    return LocalTime{now.wHour, now.wMinute, now.wSecond};
}

std::uint32_t CurrentThreadId() {
    return GetCurrentThreadId();
}

}  // namespace platform
