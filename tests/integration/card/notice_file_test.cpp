// The notice read, write and access key change sequences on virtual cards,
// compared as whole card images.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <tuple>

#include "card/access_key_change.h"
#include "card/key_change_interrupted.h"
#include "card/notice_file.h"
#include "card_test_support.h"
#include "errors/mifare_exception.h"
#include "platform/code_page.h"
#include "platform/locale.h"
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
        return WithData(AfterKeyChange(image, key), Kind(), 0,
                        Bytes((oldLength + 2 + 15) / 16 * 16, 0));
    }
    Bytes AfterKeyChange(Bytes image, const std::array<std::uint8_t, 6>& key) const {
        for (int sector = 0; sector < SectorCount(Kind()); ++sector) {
            image = WithBlock(image, TrailerOfSector(sector), TransportTrailer(key));
        }
        return image;
    }
    static Bytes BlockOf(const Bytes& image, int block) {
        return Bytes(image.begin() + block * 16, image.begin() + block * 16 + 16);
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
    notice::WriteNotice(r.Card(), u"", u"First line\r\nsecond line \u00E9\u00E8");
    r.ExpectReleased();
    EXPECT_TRUE(SameImage(r.Image(), WithData(image, Kind(), 0, Record(text))));
    r.TakeLog();

    const notice::NoticeContent content = notice::ReadNotice(r.Card(), u"");
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
        EXPECT_EQ(notice::ReadNotice(r.Card(), u"").storedText, c.expected);
    }
}

TEST_P(NoticeFile, FullTextFillsTheDataAreaOneMoreByteChangesNothingEmptyWritesTheLength) {
    const Bytes image = PatternedCard(Kind());
    auto r = Reader(image);
    ExpectCoded([&] { notice::WriteNotice(r.Card(), u"", platform::FromAnsi(FullText() + "z")); },
                kErrInvalidParameter);
    r.ExpectReleased();
    EXPECT_TRUE(SameImage(r.Image(), image));

    notice::WriteNotice(r.Card(), u"", platform::FromAnsi(FullText()));
    const Bytes full = WithData(image, Kind(), 0, Record(FullText()));
    EXPECT_TRUE(SameImage(r.Image(), full));
    // An empty notice writes 00 00 and leaves the old text behind it.
    notice::WriteNotice(r.Card(), u"", u"");
    EXPECT_TRUE(SameImage(r.Image(), WithData(full, Kind(), 0, Bytes{0, 0})));
}

TEST_P(NoticeFile, TextTheCodePageCannotHoldIsRefusedBeforeAnyWrite) {
    const Bytes image = CardWithNotice(Kind(), "kept");
    auto r = Reader(image);
    const std::u16string privet = u"\u041F\u0440\u0438\u0432\u0435\u0442";
    // Cyrillic has no place in 1252; it would have been stored as "??????".
    ExpectCoded<CMifareException>([&] { notice::WriteNotice(r.Card(), u"", privet); },
                                  kMifareTextNotStorable);
    r.ExpectReleased();
    EXPECT_TRUE(SameImage(r.Image(), image));
    const auto calls = r.TakeFunctions();
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "Write"), 0);

    // The same text is fine where the code page has it.
    platform::SetAnsiCodePageOverride(1251);
    notice::WriteNotice(r.Card(), u"", privet);
    EXPECT_EQ(notice::ReadNotice(r.Card(), u"").storedText, "\xCF\xF0\xE8\xE2\xE5\xF2");
}

TEST_P(NoticeFile, OverlongOrUnstorableKeyTextsAndAnUnusableCodePageFailBeforeAnyLogin) {
    const Bytes image = CardWithNotice(Kind(), "kept");
    auto r = Reader(image);
    ExpectCoded([&] { notice::ReadNotice(r.Card(), u"1234567"); }, kErrAccessCodeTooLong);
    ExpectCoded([&] { notice::WriteNotice(r.Card(), u"1234567", u"x"); }, kErrAccessCodeTooLong);
    ExpectCoded([&] { notice::ChangeAccessKey(r.Card(), KeyText(u""), u"1234567"); },
                kErrAccessCodeTooLong);
    EXPECT_THROW(notice::ChangeAccessKey(r.Card(), KeyText(u"\u65E5"), u"new"), CMifareException);
    EXPECT_THROW(notice::ChangeAccessKey(r.Card(), KeyText(u""), u"\u65E5"), CMifareException);
    // A code page the system cannot open would have made every text empty.
    platform::SetAnsiCodePageOverride(4242);
    ExpectCoded<CMifareException>([&] { notice::ReadNotice(r.Card(), u""); },
                                  kMifareCodePageUnavailable);
    ExpectCoded<CMifareException>([&] { notice::WriteNotice(r.Card(), u"", u"x"); },
                                  kMifareCodePageUnavailable);
    ExpectCoded<CMifareException>([&] { notice::ChangeAccessKey(r.Card(), KeyText(u""), u"n"); },
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
    notice::ChangeAccessKey(r.Card(), KeyText(u""), u"n3w");
    r.ExpectReleased();
    const Bytes changed = AfterKeyChange(image, {'n', '3', 'w', 0xFF, 0xFF, 0xFF}, secret.size());
    EXPECT_TRUE(SameImage(r.Image(), changed));

    EXPECT_EQ(notice::ReadNotice(r.Card(), u"n3w").storedText, "");
    ExpectReaderError([&] { notice::ReadNotice(r.Card(), u""); }, -4011);
    r.ExpectReleased();

    // And back, with the new key as the current one: an empty notice of zeros
    // needs no data block written.
    r.TakeLog();
    notice::ChangeAccessKey(r.Card(), KeyText(u"n3w"), u"");
    EXPECT_TRUE(SameImage(r.Image(), AfterKeyChange(image, kTransportKey, secret.size())));
    const auto calls = r.TakeFunctions();
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "Write"), SectorCount(Kind()));
}

TEST_P(NoticeFile, ClearAndChangeEraseTheRecordsBlocksOnly) {
    // The record's blocks whatever they hold (a zero byte inside the text must not
    // stop the erase); of a length no card can hold, the two length bytes only.
    // Older text behind the record stays, also behind an empty notice.
    const Bytes image = CardWithNotice(Kind(), std::string(60, 'c'));  // sectors 0 and 1
    const Bytes withZeros = WithData(image, Kind(), 20, Bytes(16, 0));
    const Bytes emptied = WithData(image, Kind(), 0, Bytes{0, 0});
    const auto over = static_cast<std::uint8_t>(Capacity() + 1);
    const Bytes foreign =
        WithData(image, Kind(), 0, Bytes{over, static_cast<std::uint8_t>((Capacity() + 1) >> 8)});
    const struct {
        Bytes before, after;
    } cases[] = {
        {image, WithData(image, Kind(), 0, Bytes(64, 0))},
        {withZeros, WithData(withZeros, Kind(), 0, Bytes(64, 0))},
        {emptied, emptied},
        {foreign, WithData(foreign, Kind(), 0, Bytes{0, 0})},
    };
    for (const auto& c : cases) {
        auto r = Reader(c.before);
        notice::EraseNotice(r.Card(), u"");
        r.ExpectReleased();
        EXPECT_TRUE(SameImage(r.Image(), c.after));
        EXPECT_EQ(notice::ReadNotice(r.Card(), u"").storedText, "");
        r.TakeLog();
        notice::EraseNotice(r.Card(), u"");  // nothing left to erase: nothing written
        const auto calls = r.TakeFunctions();
        EXPECT_EQ(std::count(calls.begin(), calls.end(), "Write"), 0);

        auto changed = Reader(c.before);
        notice::ChangeAccessKey(changed.Card(), KeyText(u""), u"n3w");
        EXPECT_TRUE(
            SameImage(changed.Image(), AfterKeyChange(c.after, {'n', '3', 'w', 0xFF, 0xFF, 0xFF})));
    }

    // A key that does not open every block of the old notice clears nothing.
    const Bytes locked = WithSectorKey(image, 1, {1, 2, 3, 4, 5, 6});
    auto r = Reader(locked);
    ExpectReaderError([&] { notice::EraseNotice(r.Card(), u""); }, -4011);
    r.ExpectReleased();
    EXPECT_TRUE(SameImage(r.Image(), locked));
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
        ExpectReaderError([&] { notice::ChangeAccessKey(r.Card(), KeyText(keyText), u"n3w"); },
                          -4011);
        r.ExpectReleased();
        if (image != halfChanged) {
            ExpectReaderError([&] { notice::WriteNotice(r.Card(), keyText, reachesSector5); },
                              -4011);
            r.ExpectReleased();
        }
        EXPECT_TRUE(SameImage(r.Image(), image));
        const auto calls = r.TakeFunctions();
        EXPECT_EQ(std::count(calls.begin(), calls.end(), "Write"), 0);
    }
}

TEST_P(NoticeFile, AChangeCutShortIsFinishedByTheSameChangeAndSaysWhyItStopped) {
    // The reader's usual answer to a trailer write, but the write never happened:
    // the last sector's. The proof with the new key finds it, and the error keeps
    // that login's refusal as its cause.
    platform::ScopedThreadLocale english(0x0409);
    const Bytes image = CardWithNotice(Kind(), "kept");
    auto r = Reader(image);
    const std::int16_t forgiven = r.Reader() == "COM1" ? -3010 : -3040;
    r.Field().FailCall(r.Reader(), "Write", 1, forgiven);
    try {
        notice::ChangeAccessKey(r.Card(), KeyText(u""), u"n3w");
        ADD_FAILURE() << "a trailer never written passed the proof";
    } catch (const CKeyChangeInterrupted& e) {
        EXPECT_EQ(e.CauseText(), u"80004005 : ACR120 : Login failed");
        EXPECT_EQ(e.CauseKind(), NoticeErrorKind::kKey);
        EXPECT_EQ(KindOfNoticeError(e), NoticeErrorKind::kKey);
        EXPECT_NE(e.GetDescription().find(u"run the same key change again"), std::u16string::npos);
        EXPECT_NE(e.GetDescription().find(u"Cause: 80004005 : ACR120 : Login failed"),
                  std::u16string::npos);
    }
    r.ExpectReleased();
    const std::array<std::uint8_t, 6> newKey{'n', '3', 'w', 0xFF, 0xFF, 0xFF};
    const Bytes finished = AfterKeyChange(image, newKey, 4);
    const int last = SectorCount(Kind()) - 1;
    EXPECT_TRUE(SameImage(r.Image(), WithBlock(finished, TrailerOfSector(last),
                                               BlockOf(image, TrailerOfSector(last)))));

    // The re-run writes that one trailer only; a failure in its first pass, on a card
    // that holds both keys, is an interrupted change too.
    r.Field().FailCall(r.Reader(), "Read", 2, -3030);  // the length, after the survey
    ExpectCoded<CKeyChangeInterrupted>(
        [&] { notice::ChangeAccessKey(r.Card(), KeyText(u""), u"n3w"); },
        kMifareKeyChangeUnfinished);
    r.TakeLog();
    notice::ChangeAccessKey(r.Card(), KeyText(u""), u"n3w");
    EXPECT_TRUE(SameImage(r.Image(), finished));
    const auto calls = r.TakeFunctions();
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "Write"), 1);

    // Finished: the same change again writes nothing and succeeds while the notice
    // is empty; once a notice is saved with the new key, it fails as the current
    // key's login and leaves the notice alone.
    r.TakeLog();
    notice::ChangeAccessKey(r.Card(), KeyText(u""), u"n3w");
    EXPECT_TRUE(SameImage(r.Image(), finished));
    notice::WriteNotice(r.Card(), u"n3w", u"saved since");
    const Bytes saved = r.Image();
    r.TakeLog();
    ExpectReaderError([&] { notice::ChangeAccessKey(r.Card(), KeyText(u""), u"n3w"); }, -4011);
    EXPECT_TRUE(SameImage(r.Image(), saved));
    const auto again = r.TakeFunctions();
    EXPECT_EQ(std::count(again.begin(), again.end(), "Write"), 0);
}

TEST_P(NoticeFile, ATrailerKeyAMayNotRewriteIsRefusedBeforeAnyWrite) {
    // Trailer condition 011 (key B only): 7F 07 88. Data condition 100 (key B writes)
    // on a block of the notice: 77 8F 08 with the trailer at 001. Condition 000 lets
    // key A write key A (not the access bits): the change goes ahead.
    platform::ScopedThreadLocale english(0x0409);
    const Bytes image = CardWithNotice(Kind(), std::string(60, 'n'));  // sectors 0 and 1
    const auto withAccess = [&](int sector, Bytes access) {
        Bytes trailer = TransportTrailer(kTransportKey);
        std::copy(access.begin(), access.end(), trailer.begin() + 6);
        return WithBlock(image, TrailerOfSector(sector), trailer);
    };
    const int lastSector = SectorCount(Kind()) - 1;
    for (const auto& [card, sector] :
         {std::pair{withAccess(9, {0x7F, 0x07, 0x88}), 9},
          std::pair{withAccess(lastSector, {0x7F, 0x07, 0x88}), lastSector},
          std::pair{withAccess(1, {0x77, 0x8F, 0x08}), 1}}) {
        auto r = Reader(card);
        try {
            notice::ChangeAccessKey(r.Card(), KeyText(u""), u"n3w");
            ADD_FAILURE() << "sector " << sector;
        } catch (const CMifareException& e) {
            EXPECT_EQ(e.GetCode(), kMifareSectorNotRewritable);
            EXPECT_EQ(e.GetDescription(), u"The access conditions of sector " +
                                              platform::AsciiToUtf16(std::to_string(sector)) +
                                              u" do not let key A rewrite it: the access key was "
                                              u"not changed and nothing was written");
        }
        r.ExpectReleased();
        EXPECT_TRUE(SameImage(r.Image(), card));
        const auto calls = r.TakeFunctions();
        EXPECT_EQ(std::count(calls.begin(), calls.end(), "Write"), 0);
    }
    auto r = Reader(withAccess(3, {0xFF, 0x0F, 0x00}));
    notice::ChangeAccessKey(r.Card(), KeyText(u""), u"n3w");
    EXPECT_EQ(notice::ReadNotice(r.Card(), u"n3w").storedText, "");
}

INSTANTIATE_TEST_SUITE_P(
    Cards, NoticeFile,
    testing::Combine(testing::Values(kSerial, kUsb),
                     testing::Values(CardKind::kClassic1K, CardKind::kClassic4K)),
    [](const auto& info) { return Name(std::get<0>(info.param)) + Name(std::get<1>(info.param)); });

}  // namespace
}  // namespace cardtest
