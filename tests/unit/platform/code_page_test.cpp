#include <gtest/gtest.h>

#include <functional>

#include "platform/code_page.h"
#include "platform/locale.h"

namespace {

class CodePage : public ::testing::Test {
protected:
    void TearDown() override { platform::SetAnsiCodePageOverride(std::nullopt); }
};

TEST_F(CodePage, CyrillicUnderRussianLocaleGivesCp1251Bytes) {
    platform::SetAnsiCodePageOverride(platform::AnsiCodePageForLocaleName("ru_RU.UTF-8"));
    const auto converted = platform::ToAnsi(u"Привет, Ёж!");
    EXPECT_FALSE(converted.replaced);
    EXPECT_EQ(converted.bytes, "\xCF\xF0\xE8\xE2\xE5\xF2, \xA8\xE6!");
    EXPECT_EQ(platform::FromAnsi(converted.bytes), u"Привет, Ёж!");
}

TEST_F(CodePage, UnmappableCharactersAreReplacedAndReported) {
    platform::SetAnsiCodePageOverride(1252);
    // Cyrillic and CJK have no CP1252 form.
    const auto converted = platform::ToAnsi(u"a\u0416b\u4E2Dc");
    EXPECT_TRUE(converted.replaced);
    EXPECT_EQ(converted.bytes, "a?b?c");
    // Nor a character outside the BMP (one '?' or one per surrogate, by system).
    EXPECT_TRUE(platform::ToAnsi(u"\U0001F600").replaced);
}

TEST_F(CodePage, LoneSurrogateIsReplacedNotDropped) {
    platform::SetAnsiCodePageOverride(1252);
    std::u16string text = u"x";
    text.push_back(static_cast<char16_t>(0xD800));
    text += u"y";
    const auto converted = platform::ToAnsi(text);
    EXPECT_TRUE(converted.replaced);
    EXPECT_EQ(converted.bytes, "x?y");
}

TEST_F(CodePage, WesternTextRoundTripsWithoutReplacement) {
    platform::SetAnsiCodePageOverride(1252);
    const std::u16string text = u"Grüße, café € 100\r\nZeile 2";
    const auto converted = platform::ToAnsi(text);
    EXPECT_FALSE(converted.replaced);
    EXPECT_EQ(converted.bytes,
              "Gr\xFC\xDF"
              "e, caf\xE9 \x80 100\r\nZeile 2");
    EXPECT_EQ(platform::FromAnsi(converted.bytes), text);
}

TEST_F(CodePage, DoubleByteCodePageCountsBytesNotCharacters) {
    platform::SetAnsiCodePageOverride(932);
    const auto converted = platform::ToAnsi(u"日本");
    EXPECT_FALSE(converted.replaced);
    EXPECT_EQ(converted.bytes.size(), 4u);
    EXPECT_EQ(platform::FromAnsi(converted.bytes), u"日本");
}

TEST_F(CodePage, ACodePageTheSystemCannotOpenFailsInsteadOfGivingNothing) {
    platform::SetAnsiCodePageOverride(4242);
    EXPECT_THROW(platform::ToAnsi(u"text"), platform::CodePageUnavailable);
    EXPECT_THROW(platform::FromAnsi("text"), platform::CodePageUnavailable);
}

// iconv's Vietnamese and Hebrew converters hold a letter back until they know whether
// a combining mark follows; the notice must not lose its last character to that.
TEST_F(CodePage, CombiningCodePagesKeepTheLastCharacter) {
    struct Row {
        unsigned codePage;
        std::string bytes;
        std::u16string text;
    };
    for (const Row& row :
         {Row{1258, "\xE2\xE5*u", u"\u00E2\u00E5*u"}, Row{1255, "a\xF9", u"a\u05E9"}}) {
        platform::SetAnsiCodePageOverride(row.codePage);
        EXPECT_EQ(platform::FromAnsi(row.bytes), row.text) << row.codePage;
        EXPECT_EQ(platform::ToAnsi(row.text).bytes, row.bytes) << row.codePage;
    }
    // A letter and its combining mark may read as one character (glibc joins them);
    // written back, it must read as the same text, so an edited notice keeps what it showed.
    platform::SetAnsiCodePageOverride(1258);
    const std::u16string read = platform::FromAnsi("N\xDE");
    EXPECT_EQ(platform::FromAnsi(platform::ToAnsi(read).bytes), read);
}

TEST_F(CodePage, ALookAlikeThatReadsBackOtherwiseCountsAsReplaced) {
    platform::SetAnsiCodePageOverride(932);
    EXPECT_TRUE(platform::ToAnsi(u"\u00AC").replaced);
}

TEST_F(CodePage, EmptyTextAndEmbeddedZeroSurvive) {
    platform::SetAnsiCodePageOverride(1252);
    EXPECT_EQ(platform::ToAnsi(u"").bytes, "");
    EXPECT_EQ(platform::ToAnsi(std::u16string(u"a\0b", 3)).bytes, std::string("a\0b", 3));
}

TEST(Utf8Conversion, RoundTripsEveryPlane) {
    const std::u16string text = u"A\u00E9\u0416\u4E2D\U0001F600";
    EXPECT_EQ(platform::Utf8ToUtf16(platform::Utf16ToUtf8(text)), text);
    EXPECT_EQ(platform::Utf8ToUtf16("\xFF"
                                    "a"),
              u"\uFFFD"
              u"a");
}

// A Windows set to "use Unicode UTF-8 for worldwide language support" has code
// page 65001 as its ANSI code page; its conversions (and GB 18030's, and the
// ISO-2022 ones') refuse the flags the other code pages take, and converted
// nothing at all when asked with them: an empty notice, a key of FF x 6.
TEST_F(CodePage, CodePagesThatRefuseConversionFlagsStillConvertAndReport) {
    EXPECT_TRUE(platform::TakesNoConversionFlags(65001));
    EXPECT_TRUE(platform::TakesNoConversionFlags(54936));
    EXPECT_TRUE(platform::TakesNoConversionFlags(50220));
    EXPECT_FALSE(platform::TakesNoConversionFlags(1252));
    EXPECT_FALSE(platform::TakesNoConversionFlags(932));

    std::u16string loneSurrogate = u"x";
    loneSurrogate.push_back(static_cast<char16_t>(0xD800));

    platform::SetAnsiCodePageOverride(65001);
    auto converted = platform::ToAnsi(u"Привет €");
    EXPECT_FALSE(converted.replaced);
    EXPECT_EQ(converted.bytes, "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82 \xE2\x82\xAC");
    EXPECT_EQ(platform::FromAnsi(converted.bytes), u"Привет €");
    EXPECT_TRUE(platform::ToAnsi(loneSurrogate).replaced);
    // The card and both editors count UTF-8's bytes.
    EXPECT_TRUE(platform::IsMultiByteCodePage(65001));

    // A system without one of these code pages says so; it never converts to nothing.
    const auto whereAvailable = [](unsigned codePage, const std::function<void()>& check) {
        platform::SetAnsiCodePageOverride(codePage);
        try {
            check();
        } catch (const platform::CodePageUnavailable& error) {
            EXPECT_EQ(error.CodePage(), codePage);
        }
    };
    whereAvailable(54936, [&] {
        const auto gb = platform::ToAnsi(u"€\u4E2D");
        EXPECT_FALSE(gb.replaced);
        EXPECT_EQ(gb.bytes, "\xA2\xE3\xD6\xD0");
        EXPECT_EQ(platform::FromAnsi(gb.bytes), u"€\u4E2D");
        EXPECT_TRUE(platform::ToAnsi(loneSurrogate).replaced);
    });
    // Japanese JIS: shifts in and out around the kanji; é has no form there.
    whereAvailable(50220, [&] {
        const auto jis = platform::ToAnsi(u"a\u65E5\u672C");
        EXPECT_FALSE(jis.replaced);
        EXPECT_EQ(jis.bytes, "a\x1B$BF|K\\\x1B(B");
        EXPECT_EQ(platform::FromAnsi(jis.bytes), u"a\u65E5\u672C");
        EXPECT_TRUE(platform::ToAnsi(u"caf\u00E9").replaced);
    });
}

}  // namespace
