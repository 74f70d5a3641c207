// Access key texts become six key bytes in the ANSI code page; text the code
// page cannot hold is refused instead of collapsing to '?'.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <optional>

#include "card/notice_file.h"
#include "errors/coded_exception.h"
#include "errors/mifare_exception.h"
#include "platform/code_page.h"
#include "platform/locale.h"

namespace {

using testing::ElementsAre;

class AccessKeyText : public testing::Test {
protected:
    void SetUp() override { platform::SetAnsiCodePageOverride(1252); }
    void TearDown() override { platform::SetAnsiCodePageOverride(std::nullopt); }

    static void ExpectTooLong(std::u16string_view text) {
        try {
            KeyFromText(text);
            ADD_FAILURE() << "accepted";
        } catch (const CCodedException& e) {
            EXPECT_EQ(e.GetCode(), kErrAccessCodeTooLong);
            EXPECT_EQ(e.GetSource(), u"PCSCCard_Mifare");
        }
    }

    static void ExpectNotStorable(std::u16string_view text) {
        try {
            KeyFromText(text);
            ADD_FAILURE() << "accepted";
        } catch (const CMifareException& e) {
            EXPECT_EQ(e.GetCode(), kMifareTextNotStorable);
            EXPECT_EQ(e.GetSource(), u"PCSCCard_Mifare");
            EXPECT_EQ(e.GetErrorCode(), static_cast<HResult>(0x80004005u));
        }
    }
};

TEST_F(AccessKeyText, IsPaddedWithFFToSixBytes) {
    // The empty text is the transport key A.
    EXPECT_THAT(KeyFromText(u""), ElementsAre(0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF));
    EXPECT_THAT(KeyFromText(u"abc"), ElementsAre('a', 'b', 'c', 0xFF, 0xFF, 0xFF));
    EXPECT_THAT(KeyFromText(u"ABC"), ElementsAre('A', 'B', 'C', 0xFF, 0xFF, 0xFF));
    EXPECT_THAT(KeyFromText(u" a b "), ElementsAre(' ', 'a', ' ', 'b', ' ', 0xFF));
    EXPECT_THAT(KeyFromText(u"123456"), ElementsAre('1', '2', '3', '4', '5', '6'));
    EXPECT_THAT(KeyFromText(u"\u00E9t\u00E9"), ElementsAre(0xE9, 't', 0xE9, 0xFF, 0xFF, 0xFF));
}

TEST_F(AccessKeyText, LimitCountsBytesNotCharacters) {
    ExpectTooLong(u"1234567");
    platform::SetAnsiCodePageOverride(1251);
    EXPECT_THAT(KeyFromText(u"\u043A\u043B\u044E\u0447"),  // "ключ"
                ElementsAre(0xEA, 0xEB, 0xFE, 0xF7, 0xFF, 0xFF));
    platform::SetAnsiCodePageOverride(932);
    // Three double-byte characters fill the key; a fourth makes 8 bytes.
    EXPECT_THAT(KeyFromText(u"\u65E5\u672C\u8A9E"), ElementsAre(0x93, 0xFA, 0x96, 0x7B, 0x8C, 0xEA));
    ExpectTooLong(u"\u65E5\u672C\u8A9E\u8A9E");
}

TEST_F(AccessKeyText, CharactersOutsideTheCodePageAreRefused) {
    // Under 1252 both would have become "????", one and the same key.
    ExpectNotStorable(u"\u043A\u043B\u044E\u0447");
    ExpectNotStorable(u"\u0434\u043E\u043C\u0430");
    ExpectNotStorable(u"ab\u65E5");
    platform::SetAnsiCodePageOverride(1251);
    ExpectNotStorable(u"\u00E9t\u00E9");
}

TEST_F(AccessKeyText, RefusalSpeaksTheThreadsLanguage) {
    platform::ScopedThreadLocale russian(0x0419);
    try {
        KeyFromText(u"\u65E5");
        ADD_FAILURE() << "accepted";
    } catch (const CMifareException& e) {
        EXPECT_EQ(e.GetDescription(),
                  u"Текст содержит символы, которые невозможно сохранить на карте");
    }
}

}  // namespace
