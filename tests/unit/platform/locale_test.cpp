#include <gtest/gtest.h>

#include <thread>

#include "platform/locale.h"

namespace {

// The primary language decides the language of the error texts (Russian only
// for 0x19), and the code page how text is stored on the card.
TEST(LocaleNames, LanguageAndAnsiCodePageFollowTheLocaleAsWindowsWould) {
    struct Case {
        const char* name;
        unsigned primaryLanguage;
        unsigned codePage;
    };
    const Case cases[] = {
        {"ru_RU.UTF-8", 0x19, 1251}, {"ru_UA", 0x19, 1251},
        {"uk_UA", 0x22, 1251},       {"be_BY", 0x23, 1251},
        {"bg_BG.UTF-8", 0x02, 1251}, {"sr_RS@latin", 0x1A, 1251},
        {"mk_MK", 0x2F, 1251},       {"cs_CZ", 0x05, 1250},
        {"pl_PL.UTF-8", 0x15, 1250}, {"hu_HU", 0x0E, 1250},
        {"sk_SK", 0x1B, 1250},       {"sl_SI", 0x24, 1250},
        {"hr_HR", 0x1A, 1250},       {"ro_RO", 0x18, 1250},
        {"el_GR", 0x08, 1253},       {"tr_TR", 0x1F, 1254},
        {"az_AZ", 0x2C, 1254},       {"he_IL", 0x0D, 1255},
        {"ar_EG", 0x01, 1256},       {"fa_IR", 0x29, 1256},
        {"ur_PK", 0x20, 1256},       {"et_EE", 0x25, 1257},
        {"lv_LV", 0x26, 1257},       {"lt_LT", 0x27, 1257},
        {"vi_VN", 0x2A, 1258},       {"th_TH", 0x1E, 874},
        {"ja_JP.UTF-8", 0x11, 932},  {"zh_CN.UTF-8", 0x04, 936},
        {"zh_SG", 0x04, 936},        {"ko_KR", 0x12, 949},
        {"zh_TW.UTF-8", 0x04, 950},  {"zh_HK", 0x04, 950},
        {"de_DE.UTF-8", 0x07, 1252}, {"fr_FR", 0x0C, 1252},
        {"en_US", 0x09, 1252},       {"C", 0x09, 1252},
        {"POSIX", 0x09, 1252},       {"", 0x09, 1252},
        {"C.UTF-8", 0x09, 1252},     {"rup_MK", 0x09, 1252},
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
