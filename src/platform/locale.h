#pragma once
// The language of the calling thread, as a Windows locale identifier, and the
// ANSI code page that goes with the user's locale.

#include <cstdint>
#include <optional>
#include <string>

namespace platform {

// Windows: GetThreadLocale(). POSIX: derived from the message locale
// (LC_ALL, else LC_MESSAGES, else LANG), or the calling thread's override.
std::uint32_t ThreadLocaleId();

// Tests run some threads "in Russian" without touching the process locale.
// The override belongs to the calling thread only.
void SetThreadLocaleOverride(std::optional<std::uint32_t> localeId);

class ScopedThreadLocale {
public:
    explicit ScopedThreadLocale(std::uint32_t localeId) { SetThreadLocaleOverride(localeId); }
    ~ScopedThreadLocale() { SetThreadLocaleOverride(std::nullopt); }
    ScopedThreadLocale(const ScopedThreadLocale&) = delete;
    ScopedThreadLocale& operator=(const ScopedThreadLocale&) = delete;
};

// Windows locale identifier for a POSIX locale name such as "ru_RU.UTF-8";
// 0x0409 (English) for "C", "POSIX", empty or unknown names.
std::uint32_t LocaleIdFromName(const std::string& localeName);

// The Windows ANSI code page Windows would pick for a POSIX locale name.
unsigned AnsiCodePageForLocaleName(const std::string& localeName);

}  // namespace platform
