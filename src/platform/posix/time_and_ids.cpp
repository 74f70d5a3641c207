#include <sys/syscall.h>
#include <unistd.h>

#include <ctime>

#include "platform/clock.h"

namespace platform {

LocalTime CurrentLocalTime() {
    std::time_t now = std::time(nullptr);
    std::tm parts{};
    localtime_r(&now, &parts);
    return LocalTime{static_cast<unsigned>(parts.tm_hour), static_cast<unsigned>(parts.tm_min),
                     static_cast<unsigned>(parts.tm_sec)};
}

std::uint32_t CurrentThreadId() {
    return static_cast<std::uint32_t>(syscall(SYS_gettid));
}

}  // namespace platform
