#include "platform/locale.h"

#include <cstdlib>

namespace platform {

namespace {

thread_local std::optional<std::uint32_t> tLocaleOverride;

std::string MessageLocaleName() {
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value != nullptr && *value != '\0') {
            return value;
        }
    }
    return {};
}

}  // namespace

std::uint32_t ThreadLocaleId() {
    if (tLocaleOverride) {
        return *tLocaleOverride;
    }
    return LocaleIdFromName(MessageLocaleName());
}

void SetThreadLocaleOverride(std::optional<std::uint32_t> localeId) {
    tLocaleOverride = localeId;
}

}  // namespace platform
