// The notice read, write and access key change sequences on virtual cards,
// compared as whole card images.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <tuple>

#include "card/notice_file.h"
#include "card_test_support.h"
#include "errors/mifare_exception.h"
#include "platform/code_page.h"
#include "reader/reader_error.h"

namespace cardtest {
namespace {

class NoticeFile : public testing::TestWithParam<std::tuple<Variant, CardKind>> {
protected:
    void SetUp() override { platform::SetAnsiCodePageOverride(1252); }
    void TearDown() override { platform::SetAnsiCodePageOverride(std::nullopt); }

    CardKind Kind() const { return std::get<1>(GetParam()); }
    std::size_t Capacity() const { return DataAreaSize(Kind()) - 2; }  // 750 or 3438
    ReaderWithCard Reader(const Bytes& image) const {
        return ReaderWithCard(std::get<0>(GetParam()), image);
    }
    std::string FullText() const {
        std::string text;
        for (std::size_t i = 0; i < Capacity(); ++i)
            text.push_back(static_cast<char>('a' + i % 26));
        return text;
    }

    static std::function<std::u16string()> KeyText(std::u16string text) {
        return [text] { return text; };
    }
    // The card after a key change to `key`: every trailer new, the blocks of the
    // old notice (of `oldLength` bytes) all zeros.
    Bytes AfterKeyChange(Bytes image, const std::array<std::uint8_t, 6>& key,
                         std::size_t oldLength) const {
        for (int sector = 0; sector < SectorCount(Kind()); ++sector) {
            image = WithBlock(image, TrailerOfSector(sector), TransportTrailer(key));
        }
        return WithData(image, Kind(), 0, Bytes((oldLength + 2 + 15) / 16 * 16, 0));
    }
    // The card with sector `sector` under another key A.
    static Bytes WithSectorKey(const Bytes& image, int sector, std::array<std::uint8_t, 6> key) {
        return WithBlock(image, TrailerOfSector(sector), TransportTrailer(key));
    }
};

TEST_P(NoticeFile, SavedTextLoadsBackWithTheEmptyKeyTextOnATransportCard) {
    const Bytes image = PatternedCard(Kind());
    auto r = Reader(image);
    const std::string text = "First line\r\nsecond line \xE9\xE8";
    WriteNotice(r.Card(), u"", u"First line\r\nsecond line \u00E9\u00E8");
    r.ExpectReleased();
    EXPECT_TRUE(SameImage(r.Image(), WithData(image, Kind(), 0, Record(text))));
    r.TakeLog();

    const NoticeContent content = ReadNotice(r.Card(), u"");
    EXPECT_EQ(content.storedText, text);
    EXPECT_EQ(content.capacity, Capacity());
    r.ExpectReleased();
    // The length from block 1, then blocks 1 and 2 for the text; nothing past the record.
    const auto calls = r.TakeFunctions();
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "Read"), 3);
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "Login"), 1);
}

TEST_P(NoticeFile, LoadsUpToCapacityAndStopsAtAZeroByte) {
    const auto over = static_cast<std::uint16_t>(Capacity() + 1);
    const Bytes full = CardWithNotice(Kind(), FullText());
    const struct {
        Bytes image;
        std::string expected;
    } cases[] = {
        {full, FullText()},
        {WithData(full, Kind(), 0,
                  {static_cast<std::uint8_t>(over & 0xFF), static_cast<std::uint8_t>(over >> 8)}),
         ""},
        {WithData(full, Kind(), 0, {0xFF, 0xFF}), ""},
        {CardWithNotice(Kind(), std::string("abc\0def", 7)), "abc"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        auto r = Reader(c.image);
        EXPECT_EQ(ReadNotice(r.Card(), u"").storedText, c.expected);
    }
}

TEST_P(NoticeFile, FullTextFillsTheDataAreaOneMoreByteChangesNothingEmptyWritesTheLength) {
    const Bytes image = PatternedCard(Kind());
    auto r = Reader(image);
    ExpectCoded([&] { WriteNotice(r.Card(), u"", platform::FromAnsi(FullText() + "z")); },
                kErrInvalidParameter);
    r.ExpectReleased();
    EXPECT_TRUE(SameImage(r.Image(), image));

    WriteNotice(r.Card(), u"", platform::FromAnsi(FullText()));
    const Bytes full = WithData(image, Kind(), 0, Record(FullText()));
    EXPECT_TRUE(SameImage(r.Image(), full));
    // An empty notice writes 00 00 and leaves the old text behind it.
    WriteNotice(r.Card(), u"", u"");
    EXPECT_TRUE(SameImage(r.Image(), WithData(full, Kind(), 0, Bytes{0, 0})));
}

TEST_P(NoticeFile, TextTheCodePageCannotHoldIsRefusedBeforeAnyWrite) {
    const Bytes image = CardWithNotice(Kind(), "kept");
    auto r = Reader(image);
    const std::u16string privet = u"\u041F\u0440\u0438\u0432\u0435\u0442";
    // Cyrillic has no place in 1252; it would have been stored as "??????".
    ExpectCoded<CMifareException>([&] { WriteNotice(r.Card(), u"", privet); },
                                  kMifareTextNotStorable);
    r.ExpectReleased();
    EXPECT_TRUE(SameImage(r.Image(), image));
    const auto calls = r.TakeFunctions();
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "Write"), 0);

    // The same text is fine where the code page has it.
    platform::SetAnsiCodePageOverride(1251);
    WriteNotice(r.Card(), u"", privet);
    EXPECT_EQ(ReadNotice(r.Card(), u"").storedText, "\xCF\xF0\xE8\xE2\xE5\xF2");
}

TEST_P(NoticeFile, OverlongOrUnstorableKeyTextsAndAnUnusableCodePageFailBeforeAnyLogin) {
    const Bytes image = CardWithNotice(Kind(), "kept");
    auto r = Reader(image);
    ExpectCoded([&] { ReadNotice(r.Card(), u"1234567"); }, kErrAccessCodeTooLong);
    ExpectCoded([&] { WriteNotice(r.Card(), u"1234567", u"x"); }, kErrAccessCodeTooLong);
    ExpectCoded([&] { ChangeAccessKey(r.Card(), KeyText(u""), u"1234567"); },
                kErrAccessCodeTooLong);
    EXPECT_THROW(ChangeAccessKey(r.Card(), KeyText(u"\u65E5"), u"new"), CMifareException);
    EXPECT_THROW(ChangeAccessKey(r.Card(), KeyText(u""), u"\u65E5"), CMifareException);
    // A code page the system cannot open would have made every text empty.
    platform::SetAnsiCodePageOverride(4242);
    ExpectCoded<CMifareException>([&] { ReadNotice(r.Card(), u""); }, kMifareCodePageUnavailable);
    ExpectCoded<CMifareException>([&] { WriteNotice(r.Card(), u"", u"x"); },
                                  kMifareCodePageUnavailable);
    ExpectCoded<CMifareException>([&] { ChangeAccessKey(r.Card(), KeyText(u""), u"n"); },
                                  kMifareCodePageUnavailable);
    r.ExpectReleased();
    const auto calls = r.TakeFunctions();
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "Login"), 0);
    EXPECT_TRUE(SameImage(r.Image(), image));
}

TEST_P(NoticeFile, KeyChangeRewritesEveryTrailerAndErasesTheNotice) {
    const std::string secret(40, 's');  // three blocks, the last one partly
    const Bytes image = CardWithNotice(Kind(), secret);
    auto r = Reader(image);
    ChangeAccessKey(r.Card(), KeyText(u""), u"n3w");
    r.ExpectReleased();
    const Bytes changed = AfterKeyChange(image, {'n', '3', 'w', 0xFF, 0xFF, 0xFF}, secret.size());
    EXPECT_TRUE(SameImage(r.Image(), changed));

    EXPECT_EQ(ReadNotice(r.Card(), u"n3w").storedText, "");
    ExpectReaderError([&] { ReadNotice(r.Card(), u""); }, -4011);
    r.ExpectReleased();

    // And back, with the new key as the current one: an empty notice of zeros
    // needs no data block written.
    r.TakeLog();
    ChangeAccessKey(r.Card(), KeyText(u"n3w"), u"");
    EXPECT_TRUE(SameImage(r.Image(), AfterKeyChange(image, kTransportKey, secret.size())));
    const auto calls = r.TakeFunctions();
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "Write"), SectorCount(Kind()));
}

TEST_P(NoticeFile, ClearErasesTheNoticeAndWhatAnEmptyNoticeLeftBehind) {
    const Bytes image = CardWithNotice(Kind(), std::string(60, 'c'));  // sectors 0 and 1
    auto r = Reader(image);
    EraseNotice(r.Card(), u"");
    r.ExpectReleased();
    const Bytes cleared = WithData(image, Kind(), 0, Bytes(64, 0));
    EXPECT_TRUE(SameImage(r.Image(), cleared));
    EXPECT_EQ(ReadNotice(r.Card(), u"").storedText, "");

    // An empty Save (or a clear cut short) leaves the old text behind the length:
    // it goes too, up to the first block of zeros.
    const Bytes emptied =
        WithData(CardWithNotice(Kind(), std::string(60, 'c')), Kind(), 64, Bytes(16, 0));
    auto leftBehind = Reader(WithData(emptied, Kind(), 0, Bytes{0, 0}));
    EraseNotice(leftBehind.Card(), u"");
    EXPECT_TRUE(SameImage(leftBehind.Image(), WithData(emptied, Kind(), 0, Bytes(64, 0))));

    // A key that does not open every block of the old notice clears nothing.
    const Bytes foreign = WithSectorKey(image, 1, {1, 2, 3, 4, 5, 6});
    auto locked = Reader(foreign);
    ExpectReaderError([&] { EraseNotice(locked.Card(), u""); }, -4011);
    locked.ExpectReleased();
    EXPECT_TRUE(SameImage(locked.Image(), foreign));
}

TEST_P(NoticeFile, AKeyThatDoesNotOpenEverySectorChangesNothing) {
    // A wrong key fails in sector 0. Sector 5 under another key fails a Save that
    // reaches it and a change, before either writes. So does a card half changed
    // (sectors 0 to 2 on the new key) whose sector 5 opens with neither key.
    const Bytes plain = CardWithNotice(Kind(), "kept");
    const Bytes sector5Foreign = WithSectorKey(plain, 5, {1, 2, 3, 4, 5, 6});
    Bytes halfChanged = sector5Foreign;
    for (int s = 0; s < 3; ++s)
        halfChanged = WithSectorKey(halfChanged, s, {'n', '3', 'w', 0xFF, 0xFF, 0xFF});
    const std::u16string reachesSector5(300, u'x');
    for (const auto& [image, keyText] : {std::pair{plain, u"wrong"}, std::pair{sector5Foreign, u""},
                                         std::pair{halfChanged, u""}}) {
        auto r = Reader(image);
        ExpectReaderError([&] { ChangeAccessKey(r.Card(), KeyText(keyText), u"n3w"); }, -4011);
        r.ExpectReleased();
        if (image != halfChanged) {
            ExpectReaderError([&] { WriteNotice(r.Card(), keyText, reachesSector5); }, -4011);
            r.ExpectReleased();
        }
        EXPECT_TRUE(SameImage(r.Image(), image));
        const auto calls = r.TakeFunctions();
        EXPECT_EQ(std::count(calls.begin(), calls.end(), "Write"), 0);
    }
}

TEST_P(NoticeFile, AChangeCutShortIsFinishedByTheSameChange) {
    // The reader's usual answer to a trailer write, but the write never happened:
    // sector 3 still opens only with the old key, every other sector only with the
    // new one, and the change says it can be finished.
    const Bytes image = CardWithNotice(Kind(), "kept");
    auto r = Reader(image);
    const std::int16_t forgiven = r.Reader() == "COM1" ? -3010 : -3040;
    r.Field().FailCall(r.Reader(), "Write", 4, forgiven);
    ExpectCoded<CMifareException>([&] { ChangeAccessKey(r.Card(), KeyText(u""), u"n3w"); },
                                  kMifareKeyChangeUnfinished);
    r.ExpectReleased();
    const std::array<std::uint8_t, 6> newKey{'n', '3', 'w', 0xFF, 0xFF, 0xFF};
    const Bytes finished = AfterKeyChange(image, newKey, 4);
    Bytes cutShort = image;
    for (int sector = 0; sector < SectorCount(Kind()); ++sector) {
        if (sector != 3)
            cutShort = WithSectorKey(cutShort, sector, newKey);
    }
    EXPECT_TRUE(SameImage(r.Image(), cutShort));

    r.TakeLog();
    ChangeAccessKey(r.Card(), KeyText(u""), u"n3w");
    EXPECT_TRUE(SameImage(r.Image(), finished));
    const auto calls = r.TakeFunctions();
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "Write"), 1 + 1);  // trailer 3, block 1
    // The key that opened the last sector is tried first: one refusal each where
    // the key changes, at sectors 0, 3 and 4.
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "Login"), 2 * SectorCount(Kind()) + 3 + 1);
}

INSTANTIATE_TEST_SUITE_P(
    Cards, NoticeFile,
    testing::Combine(testing::Values(kSerial, kUsb),
                     testing::Values(CardKind::kClassic1K, CardKind::kClassic4K)),
    [](const auto& info) { return Name(std::get<0>(info.param)) + Name(std::get<1>(info.param)); });

}  // namespace
}  // namespace cardtest
