// The notice's size as the editors and the usage label count it must be the size
// Save stores, and "too long" must be told apart from any other bad parameter.

#include <gtest/gtest.h>

#include <optional>

#include "card/notice_error_kind.h"
#include "card/notice_text.h"
#include "errors/coded_exception.h"
#include "platform/code_page.h"
#include "reader/acr120_base.h"

namespace {

class NoticeText : public testing::Test {
protected:
    void TearDown() override { platform::SetAnsiCodePageOverride(std::nullopt); }
};

TEST_F(NoticeText, CountsWhatSaveStores) {
    for (const unsigned codePage : {1252u, 932u, 65001u}) {
        platform::SetAnsiCodePageOverride(codePage);
        for (const std::u16string_view text : {u"", u"plain", u"caf\u00E9\r\n", u"\u65E5\u672C"}) {
            try {
                EXPECT_EQ(notice_text::StoredSize(text), notice_text::ToStored(text).size())
                    << codePage;
            } catch (const ICOMSrvException&) {
                // Not storable in this code page: the count only has to not throw.
            }
        }
    }
    platform::SetAnsiCodePageOverride(932);
    EXPECT_EQ(notice_text::StoredSize(u"\u65E5a"), 3u);
}

TEST_F(NoticeText, LineBreaksBecomeCrLfAndBack) {
    EXPECT_EQ(notice_text::WithCrLf(u"a\nb\r\nc\r"), u"a\r\nb\r\nc\r");
    EXPECT_EQ(notice_text::WithoutCrLf(u"a\r\nb\rc\r"), u"a\nb\rc\r");
    EXPECT_EQ(notice_text::WithCrLf(notice_text::WithoutCrLf(u"x\r\n\r\ny")), u"x\r\n\r\ny");
}

TEST_F(NoticeText, CapacityAndLengthField) {
    EXPECT_EQ(notice_text::Capacity(kCardTypeMifare1K), 750);
    EXPECT_EQ(notice_text::Capacity(kCardTypeMifare4K), 3438);
    EXPECT_EQ(notice_text::Capacity(kCardTypeSevenByteUid), 0);
    const std::string text(300, 'x');
    const std::vector<std::uint8_t> record = notice_text::Record(text);
    ASSERT_EQ(record.size(), 302u);
    EXPECT_EQ(notice_text::LengthField(record.data()), 300);
    EXPECT_EQ(record[0], 300 & 0xFF);  // low byte first
}

TEST_F(NoticeText, TooLongIsItsOwnKind) {
    EXPECT_NO_THROW(notice_text::CheckFits(std::string(750, 'x'), 750));
    try {
        notice_text::CheckFits(std::string(751, 'x'), 750);
        ADD_FAILURE() << "accepted";
    } catch (const notice_text::CNoticeTooLong& e) {
        EXPECT_EQ(e.GetCode(), kErrInvalidParameter);  // the text the window shows
        EXPECT_EQ(KindOfNoticeError(e), NoticeErrorKind::kTextRefused);
    }
    // Any other bad parameter is the card's, not the text's.
    EXPECT_EQ(KindOfNoticeError(CCodedException(kErrInvalidParameter, kSourceMifare)),
              NoticeErrorKind::kCard);
}

}  // namespace
