// The notice read, write and access key change sequences on virtual cards,
// compared as whole card images.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <optional>

#include "card/notice_file.h"
#include "card_test_support.h"
#include "errors/coded_exception.h"
#include "errors/mifare_exception.h"
#include "platform/code_page.h"
#include "reader/reader_error.h"

namespace cardtest {
namespace {

const std::u16string kMifare = u"PCSCCard_Mifare";

struct NoticeCase {
    Variant variant;
    CardKind kind;
};

void PrintTo(const NoticeCase& c, std::ostream* os) {
    *os << c.variant.reader << (c.kind == CardKind::kClassic1K ? " 1K" : " 4K");
}

std::string PrintCase(const testing::TestParamInfo<NoticeCase>& info) {
    return std::string(info.param.variant.reader == "COM1" ? "Serial" : "Usb") +
           (info.param.kind == CardKind::kClassic1K ? "1K" : "4K");
}

class NoticeFile : public testing::TestWithParam<NoticeCase> {
protected:
    void SetUp() override { platform::SetAnsiCodePageOverride(1252); }
    void TearDown() override { platform::SetAnsiCodePageOverride(std::nullopt); }

    CardKind Kind() const { return GetParam().kind; }
    std::size_t Capacity() const { return DataAreaSize(Kind()) - 2; }
    ReaderWithCard Reader(const Bytes& image) const { return ReaderWithCard(GetParam().variant, image); }

    static std::string Text(std::size_t size) {
        std::string text;
        for (std::size_t i = 0; i < size; ++i) text.push_back(static_cast<char>('a' + i % 26));
        return text;
    }

    static std::function<std::u16string()> KeyText(std::u16string text) {
        return [text] { return text; };
    }

    // Every trailer of the card holds `key` in the transport configuration.
    Bytes WithAllTrailers(Bytes image, const std::array<std::uint8_t, 6>& key) const {
        for (int sector = 0; sector < SectorCount(Kind()); ++sector) {
            image = WithBlock(image, TrailerOfSector(sector), Trailer(key, {0xFF, 0x07, 0x80}, kTransportKey));
        }
        return image;
    }
};

TEST_P(NoticeFile, TransportCardOpensWithTheEmptyKeyText) {
    auto r = Reader(CardWithNotice(Kind(), "Hello, card"));
    const NoticeContent content = ReadNotice(r.Card(), u"");
    EXPECT_EQ(content.storedText, "Hello, card");
    EXPECT_EQ(content.capacity, Capacity());
    r.ExpectReleased();
}

TEST_P(NoticeFile, SavedTextLoadsBackAndLeavesTheRestOfTheCard) {
    const Bytes image = PatternedCard(Kind());
    auto r = Reader(image);
    const std::string text = "First line\r\nsecond line \xE9\xE8";
    WriteNotice(r.Card(), u"", u"First line\r\nsecond line \u00E9\u00E8");
    r.ExpectReleased();
    EXPECT_TRUE(SameImage(r.Image(), WithData(image, Kind(), 0, Record(text))));
    EXPECT_EQ(ReadNotice(r.Card(), u"").storedText, text);
}

TEST_P(NoticeFile, LengthsAboveCapacityLoadAsEmpty) {
    const std::string full = Text(Capacity());
    auto r = Reader(CardWithNotice(Kind(), full));
    EXPECT_EQ(ReadNotice(r.Card(), u"").storedText, full);

    const auto over1 = static_cast<std::uint16_t>(Capacity() + 1);
    Bytes image = WithData(CardWithNotice(Kind(), full), Kind(), 0,
                           Bytes{static_cast<std::uint8_t>(over1 & 0xFF), static_cast<std::uint8_t>(over1 >> 8)});
    auto over = Reader(image);
    EXPECT_EQ(ReadNotice(over.Card(), u"").storedText, "");
    image = WithData(image, Kind(), 0, Bytes{0xFF, 0xFF});
    auto most = Reader(image);
    EXPECT_EQ(ReadNotice(most.Card(), u"").storedText, "");
}

TEST_P(NoticeFile, LoadStopsAtAZeroByte) {
    auto r = Reader(CardWithNotice(Kind(), std::string("abc\0def", 7)));
    EXPECT_EQ(ReadNotice(r.Card(), u"").storedText, "abc");
}

TEST_P(NoticeFile, LoadReadsOnlyTheRecordsBlocks) {
    auto r = Reader(CardWithNotice(Kind(), Text(30)));
    ReadNotice(r.Card(), u"");
    int reads = 0, logins = 0;
    for (const auto& call : r.TakeCalls()) {
        reads += call.function == "Read";
        logins += call.function == "Login";
    }
    // The length from block 1, then blocks 1 and 2 for the text; nothing past the record.
    EXPECT_EQ(reads, 3);
    EXPECT_EQ(logins, 1);
}

TEST_P(NoticeFile, EmptySaveWritesOnlyTheLength) {
    const Bytes image = CardWithNotice(Kind(), "an older and longer notice");
    auto r = Reader(image);
    WriteNotice(r.Card(), u"", u"");
    EXPECT_TRUE(SameImage(r.Image(), WithData(image, Kind(), 0, Bytes{0, 0})));
    EXPECT_EQ(ReadNotice(r.Card(), u"").storedText, "");
}

TEST_P(NoticeFile, FullTextFillsTheDataAreaAndOneMoreByteChangesNothing) {
    const Bytes image = PatternedCard(Kind());
    auto r = Reader(image);
    const std::string full = Text(Capacity());
    ExpectCoded([&] { WriteNotice(r.Card(), u"", platform::FromAnsi(full + "z")); },
                kErrInvalidParameter, kMifare);
    r.ExpectReleased();
    EXPECT_TRUE(SameImage(r.Image(), image));

    WriteNotice(r.Card(), u"", platform::FromAnsi(full));
    const Bytes record = Record(full);
    ASSERT_EQ(record.size(), DataAreaSize(Kind()));
    EXPECT_EQ(DataArea(r.Image(), Kind()), record);
    EXPECT_TRUE(SameImage(r.Image(), WithData(image, Kind(), 0, record)));
}

TEST_P(NoticeFile, TextTheCodePageCannotHoldIsRefusedBeforeAnyWrite) {
    const Bytes image = CardWithNotice(Kind(), "kept");
    auto r = Reader(image);
    // Cyrillic has no place in 1252; it would have been stored as "????".
    try {
        WriteNotice(r.Card(), u"", u"\u041F\u0440\u0438\u0432\u0435\u0442");
        ADD_FAILURE() << "saved";
    } catch (const CMifareException& e) {
        EXPECT_EQ(e.GetCode(), kMifareTextNotStorable);
        EXPECT_EQ(e.GetSource(), kMifare);
    }
    r.ExpectReleased();
    EXPECT_TRUE(SameImage(r.Image(), image));
    for (const auto& function : r.TakeFunctions()) EXPECT_NE(function, "Write");

    // The same text is fine where the code page has it.
    platform::SetAnsiCodePageOverride(1251);
    WriteNotice(r.Card(), u"", u"\u041F\u0440\u0438\u0432\u0435\u0442");
    EXPECT_EQ(ReadNotice(r.Card(), u"").storedText, "\xCF\xF0\xE8\xE2\xE5\xF2");
}

TEST_P(NoticeFile, OverlongOrUnstorableKeyTextsFailBeforeAnyLogin) {
    const Bytes image = CardWithNotice(Kind(), "kept");
    auto r = Reader(image);
    ExpectCoded([&] { ReadNotice(r.Card(), u"1234567"); }, kErrAccessCodeTooLong, kMifare);
    ExpectCoded([&] { WriteNotice(r.Card(), u"1234567", u"x"); }, kErrAccessCodeTooLong, kMifare);
    ExpectCoded([&] { ChangeAccessKey(r.Card(), KeyText(u""), u"1234567"); }, kErrAccessCodeTooLong,
                kMifare);
    EXPECT_THROW(ChangeAccessKey(r.Card(), KeyText(u"\u65E5"), u"new"), CMifareException);
    EXPECT_THROW(ChangeAccessKey(r.Card(), KeyText(u""), u"\u65E5"), CMifareException);
    r.ExpectReleased();
    for (const auto& function : r.TakeFunctions()) {
        EXPECT_NE(function, "Login");
        EXPECT_NE(function, "Write");
    }
    EXPECT_TRUE(SameImage(r.Image(), image));
}

TEST_P(NoticeFile, KeyChangeRewritesEveryTrailerAndEmptiesTheNotice) {
    const Bytes image = CardWithNotice(Kind(), "secret of the old key");
    auto r = Reader(image);
    ChangeAccessKey(r.Card(), KeyText(u""), u"n3w");
    r.ExpectReleased();
    const std::array<std::uint8_t, 6> newKey{'n', '3', 'w', 0xFF, 0xFF, 0xFF};
    EXPECT_TRUE(SameImage(r.Image(), WithData(WithAllTrailers(image, newKey), Kind(), 0, Bytes{0, 0})));

    EXPECT_EQ(ReadNotice(r.Card(), u"n3w").storedText, "");
    ExpectReaderError([&] { ReadNotice(r.Card(), u""); }, -4011);
    r.ExpectReleased();

    // And back, with the new key as the current one.
    ChangeAccessKey(r.Card(), KeyText(u"n3w"), u"");
    EXPECT_TRUE(SameImage(r.Image(), WithData(WithAllTrailers(image, kTransportKey), Kind(), 0, Bytes{0, 0})));
}

TEST_P(NoticeFile, ChangeProvesTheCurrentKeyOnEverySectorBeforeWriting) {
    // A wrong key fails in sector 0; a last sector under another key fails
    // only if every sector is tried before the first trailer is written.
    const int last = SectorCount(Kind()) - 1;
    const std::array<std::uint8_t, 6> foreign{1, 2, 3, 4, 5, 6};
    const Bytes plain = CardWithNotice(Kind(), "kept");
    const Bytes lastForeign =
        WithBlock(plain, TrailerOfSector(last), Trailer(foreign, {0xFF, 0x07, 0x80}, kTransportKey));
    for (const auto& [image, keyText] : {std::pair{plain, u"wrong"}, std::pair{lastForeign, u""}}) {
        auto r = Reader(image);
        ExpectReaderError([&] { ChangeAccessKey(r.Card(), KeyText(keyText), u"n3w"); }, -4011);
        r.ExpectReleased();
        EXPECT_TRUE(SameImage(r.Image(), image));
        for (const auto& function : r.TakeFunctions()) EXPECT_NE(function, "Write");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cards, NoticeFile,
    testing::Values(NoticeCase{kSerial, CardKind::kClassic1K}, NoticeCase{kSerial, CardKind::kClassic4K},
                    NoticeCase{kUsb, CardKind::kClassic1K}, NoticeCase{kUsb, CardKind::kClassic4K}),
    PrintCase);

}  // namespace
}  // namespace cardtest
