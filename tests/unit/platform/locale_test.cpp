#include <gtest/gtest.h>

#include <thread>

#include "platform/locale.h"

namespace {

// The primary language decides the language of the error texts (Russian only
// for 0x19), and the code page how text is stored on the card. Rows that a
// wrong column or a loose match would get wrong, not a copy of the table.
TEST(LocaleNames, LanguageAndAnsiCodePageFollowTheLocaleAsWindowsWould) {
    struct Case {
        const char* name;
        unsigned primaryLanguage;
        unsigned codePage;
    };
    const Case cases[] = {
        {"ru_RU.UTF-8", 0x19, 1251},  // the one language of the Russian texts
        {"uk_UA", 0x22, 1251},        // Cyrillic, but not Russian
        {"rup_MK", 0x09, 1252},       // begins with "ru", is not Russian
        {"sr_RS@latin", 0x1A, 1251},  // one language id, two code pages
        {"hr_HR", 0x1A, 1250},       {"zh_CN.UTF-8", 0x04, 936},  // one language, three code pages
        {"zh_TW.UTF-8", 0x04, 950},  {"zh_SG", 0x04, 936},       {"ja_JP.UTF-8", 0x11, 932},
        {"th_TH", 0x1E, 874},        {"", 0x09, 1252},  // no locale at all
        {"POSIX", 0x09, 1252},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(platform::LocaleIdFromName(c.name) & 0x3FF, c.primaryLanguage) << c.name;
        EXPECT_EQ(platform::AnsiCodePageForLocaleName(c.name), c.codePage) << c.name;
    }
    EXPECT_EQ(platform::LocaleIdFromName("C"), 0x0409u);
}

TEST(ThreadLocale, OverrideBelongsToTheCallingThreadOnly) {
    platform::ScopedThreadLocale russian(0x0419);
    EXPECT_EQ(platform::ThreadLocaleId(), 0x0419u);
    std::uint32_t otherThread = 0;
    std::thread([&] {
        platform::SetThreadLocaleOverride(0x0407);
        otherThread = platform::ThreadLocaleId();
    }).join();
    EXPECT_EQ(otherThread, 0x0407u);
    EXPECT_EQ(platform::ThreadLocaleId(), 0x0419u);
}

}  // namespace
