#include <string_view>

#include "platform/locale.h"

// The naming side of locales, the same on every system: tests and the POSIX
// half map locale names to Windows identifiers and code pages.

namespace platform {

namespace {

struct LanguageInfo {
    std::string_view prefix;  // "ll" or "ll_CC"; the longer match wins
    std::uint32_t localeId;
    unsigned codePage;
};

// Windows locale identifiers and ANSI code pages of the languages a user may run
// under. Entries with a territory come before their language's plain entry.
constexpr LanguageInfo kLanguages[] = {
    {"ru", 0x0419, 1251},   {"uk", 0x0422, 1251}, {"be", 0x0423, 1251},   {"bg", 0x0402, 1251},
    {"sr", 0x0C1A, 1251},   {"mk", 0x042F, 1251}, {"cs", 0x0405, 1250},   {"pl", 0x0415, 1250},
    {"hu", 0x040E, 1250},   {"sk", 0x041B, 1250}, {"sl", 0x0424, 1250},   {"hr", 0x041A, 1250},
    {"ro", 0x0418, 1250},   {"el", 0x0408, 1253}, {"tr", 0x041F, 1254},   {"az", 0x042C, 1254},
    {"he", 0x040D, 1255},   {"ar", 0x0401, 1256}, {"fa", 0x0429, 1256},   {"ur", 0x0420, 1256},
    {"et", 0x0425, 1257},   {"lv", 0x0426, 1257}, {"lt", 0x0427, 1257},   {"vi", 0x042A, 1258},
    {"th", 0x041E, 874},    {"ja", 0x0411, 932},  {"zh_TW", 0x0404, 950}, {"zh_HK", 0x0C04, 950},
    {"zh_SG", 0x1004, 936}, {"zh", 0x0804, 936},  {"ko", 0x0412, 949},    {"de", 0x0407, 1252},
    {"fr", 0x040C, 1252},   {"es", 0x0C0A, 1252}, {"it", 0x0410, 1252},   {"pt", 0x0816, 1252},
    {"nl", 0x0413, 1252},   {"sv", 0x041D, 1252}, {"da", 0x0406, 1252},   {"fi", 0x040B, 1252},
    {"nb", 0x0414, 1252},   {"nn", 0x0814, 1252}, {"no", 0x0414, 1252},   {"en", 0x0409, 1252},
};

const LanguageInfo* FindLanguage(const std::string& localeName) {
    std::string_view name(localeName);
    name = name.substr(0, name.find_first_of(".@"));
    for (const auto& language : kLanguages) {
        if (name.size() < language.prefix.size() ||
            name.substr(0, language.prefix.size()) != language.prefix) {
            continue;
        }
        // "ru" must not match "rup"; "zh_TW" matches "zh_TW" only.
        if (name.size() == language.prefix.size() || name[language.prefix.size()] == '_') {
            return &language;
        }
    }
    return nullptr;
}

}  // namespace

std::uint32_t LocaleIdFromName(const std::string& localeName) {
    const LanguageInfo* language = FindLanguage(localeName);
    return language != nullptr ? language->localeId : 0x0409;
}

unsigned AnsiCodePageForLocaleName(const std::string& localeName) {
    const LanguageInfo* language = FindLanguage(localeName);
    return language != nullptr ? language->codePage : 1252;
}

}  // namespace platform
