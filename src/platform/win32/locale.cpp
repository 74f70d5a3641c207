#include "platform/locale.h"

#include <windows.h>

namespace platform {

namespace {
thread_local std::optional<std::uint32_t> tLocaleOverride;
}

std::uint32_t ThreadLocaleId() {
    if (tLocaleOverride) {
        return *tLocaleOverride;
    }
    return GetThreadLocale();
}

void SetThreadLocaleOverride(std::optional<std::uint32_t> localeId) {
    tLocaleOverride = localeId;
}

}  // namespace platform
