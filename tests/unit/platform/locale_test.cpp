#include <gtest/gtest.h>

#include <thread>

#include "platform/locale.h"

namespace {

TEST(LocaleNames, AnsiCodePageFollowsTheLanguageAsWindowsWould) {
    struct Case {
        const char* name;
        unsigned codePage;
    };
    const Case cases[] = {
        {"ru_RU.UTF-8", 1251}, {"uk_UA", 1251},       {"bg_BG.UTF-8", 1251}, {"de_DE.UTF-8", 1252},
        {"en_US", 1252},       {"C", 1252},           {"POSIX", 1252},       {"", 1252},
        {"C.UTF-8", 1252},     {"pl_PL.UTF-8", 1250}, {"cs_CZ", 1250},       {"el_GR", 1253},
        {"tr_TR", 1254},       {"he_IL", 1255},       {"ar_EG", 1256},       {"lt_LT", 1257},
        {"vi_VN", 1258},       {"th_TH", 874},        {"ja_JP.UTF-8", 932},  {"zh_CN.UTF-8", 936},
        {"zh_SG", 936},        {"ko_KR", 949},        {"zh_TW.UTF-8", 950},  {"zh_HK", 950},
        {"sr_RS@latin", 1251}, {"rup_MK", 1252},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(platform::AnsiCodePageForLocaleName(c.name), c.codePage) << c.name;
    }
}

TEST(LocaleNames, RussianPrimaryLanguageIsRecognised) {
    EXPECT_EQ(platform::LocaleIdFromName("ru_RU.UTF-8") & 0x3FF, 0x19u);
    EXPECT_EQ(platform::LocaleIdFromName("ru_UA") & 0x3FF, 0x19u);
    EXPECT_NE(platform::LocaleIdFromName("rup_MK") & 0x3FF, 0x19u);
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
