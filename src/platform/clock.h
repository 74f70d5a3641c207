#pragma once
#include <cstdint>

namespace platform {

struct LocalTime {
    unsigned hour = 0;
    unsigned minute = 0;
    unsigned second = 0;
};

LocalTime CurrentLocalTime();
std::uint32_t CurrentThreadId();

}  // namespace platform
