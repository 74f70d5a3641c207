// Access key texts become six key bytes in the ANSI code page; text the code
// page cannot hold is refused instead of collapsing to '?'.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <optional>

#include "card/notice_file.h"
#include "errors/coded_exception.h"
#include "errors/mifare_exception.h"
#include "platform/code_page.h"

namespace {

using testing::ElementsAre;

template <typename Error>
void ExpectRefused(std::u16string_view text, std::int32_t code) {
    try {
        notice::KeyFromText(text);
        ADD_FAILURE() << "accepted";
    } catch (const Error& e) {
        EXPECT_EQ(e.GetCode(), code);
        EXPECT_EQ(e.GetSource(), u"PCSCCard_Mifare");
    }
}

class AccessKeyText : public testing::Test {
protected:
    void SetUp() override { platform::SetAnsiCodePageOverride(1252); }
    void TearDown() override { platform::SetAnsiCodePageOverride(std::nullopt); }
};

TEST_F(AccessKeyText, IsItsAnsiBytesPaddedWithFF) {
    // The empty text is the transport key A.
    EXPECT_THAT(notice::KeyFromText(u""), ElementsAre(0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF));
    EXPECT_THAT(notice::KeyFromText(u" aB"), ElementsAre(' ', 'a', 'B', 0xFF, 0xFF, 0xFF));
    EXPECT_THAT(notice::KeyFromText(u"12345\u00E9"), ElementsAre('1', '2', '3', '4', '5', 0xE9));
    platform::SetAnsiCodePageOverride(932);  // two bytes a character
    EXPECT_THAT(notice::KeyFromText(u"\u65E5\u672C\u8A9E"),
                ElementsAre(0x93, 0xFA, 0x96, 0x7B, 0x8C, 0xEA));
    platform::SetAnsiCodePageOverride(1251);
    EXPECT_THAT(notice::KeyFromText(u"\u043A\u043B\u044E\u0447"),
                ElementsAre(0xEA, 0xEB, 0xFE, 0xF7, 0xFF, 0xFF));
}

TEST_F(AccessKeyText, OverSixBytesOrOutsideTheCodePageIsRefused) {
    ExpectRefused<CCodedException>(u"1234567", kErrAccessCodeTooLong);
    // Would have been "????", like any other Cyrillic word of four letters.
    ExpectRefused<CMifareException>(u"\u043A\u043B\u044E\u0447", kMifareTextNotStorable);
    platform::SetAnsiCodePageOverride(932);  // four characters, eight bytes
    ExpectRefused<CCodedException>(u"\u65E5\u672C\u8A9E\u8A9E", kErrAccessCodeTooLong);
    platform::SetAnsiCodePageOverride(1251);
    ExpectRefused<CMifareException>(u"\u00E9t\u00E9", kMifareTextNotStorable);
}

}  // namespace
