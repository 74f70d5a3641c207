// Sector login, block access and linear data access through the virtual reader,
// both library variants. Reader calls are counted from the reader's call log.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "card_test_support.h"
#include "reader/reader_error.h"

namespace cardtest {
namespace {

using testing::ElementsAre;

class LinearAccess : public testing::TestWithParam<Variant> {
protected:
    bool Usb() const { return GetParam().reader == "USB1"; }
};

TEST_P(LinearAccess, LogsInOnlyForAnotherSectorAndReadsOnlyPartialBlocksBeforeWriting) {
    const Bytes image = PatternedCard(CardKind::kClassic1K);
    ReaderWithCard r(GetParam(), image);
    r.SelectAndLogin();
    r.Card().ReadData(nullptr, 0, 0, 2);
    EXPECT_EQ(r.TakeLog(), "Read block=1; ");
    EXPECT_THAT(r.Card().ReadBuffer(), ElementsAre(image[16], image[17]));
    r.Card().ReadData(nullptr, 0, 30, 4);
    EXPECT_EQ(r.TakeLog(), std::string("Read block=2; MultiTagSelect; Login sector=1 mode=") +
                               (Usb() ? "170" : "0") + " slot=0; Read block=4; ");
    EXPECT_THAT(r.Card().ReadBuffer(), ElementsAre(image[46], image[47], image[64], image[65]));

    r.SelectAndLogin();
    const Bytes whole(16, 0xC5), three{0xD1, 0xD2, 0xD3};
    r.Card().WriteData(nullptr, 0, 16, whole.data(), 16);
    EXPECT_EQ(r.TakeLog(), "Write block=2; ");
    r.Card().WriteData(nullptr, 0, 17, three.data(), 3);
    EXPECT_EQ(r.TakeLog(), "Read block=2; Write block=2; ");
    EXPECT_TRUE(SameImage(r.Image(),
                          WithData(WithBlock(image, 2, whole), CardKind::kClassic1K, 17, three)));
}

TEST_P(LinearAccess, RangeMayEndAtTheEndOfTheDataAreaButNotBeyond) {
    for (CardKind kind : {CardKind::kClassic1K, CardKind::kClassic4K}) {
        const Bytes image = PatternedCard(kind);
        ReaderWithCard r(GetParam(), image);
        r.SelectAndLogin();
        const auto size = static_cast<std::uint32_t>(DataAreaSize(kind));  // 752 or 3440
        r.Card().ReadData(nullptr, 0, 0, size);
        EXPECT_EQ(r.Card().ReadBuffer(), DataArea(image, kind));
        r.TakeLog();
        const Bytes data(size + 1, 0xAB);
        ExpectCoded([&] { r.Card().ReadData(nullptr, 0, 0, size + 1); }, kErrInvalidParameter);
        ExpectCoded([&] { r.Card().ReadData(nullptr, 0, size - 1, 2); }, kErrInvalidParameter);
        // An offset near 2^32 must not wrap round into the map.
        ExpectCoded([&] { r.Card().ReadData(nullptr, 0, 0xFFFFFFFFu, 2); }, kErrInvalidParameter);
        ExpectCoded([&] { r.Card().WriteData(nullptr, 0, 0, data.data(), size + 1); },
                    kErrInvalidParameter);
        EXPECT_EQ(r.TakeLog(), "");
        r.Card().WriteData(nullptr, 0, size - 1, data.data(), 1);
        EXPECT_TRUE(SameImage(r.Image(), WithData(image, kind, size - 1, Bytes{0xAB})));
    }
}

TEST_P(LinearAccess, EveryAccessNeedsACardAndALoginToASectorOfTheCard) {
    const std::u16string base = u"ACR120Base";
    ReaderWithCard r(GetParam(), PatternedCard(CardKind::kClassic1K));
    const std::uint8_t data[1] = {0};
    ExpectCoded([&] { r.Card().WriteData(nullptr, 0, 0, data, 0); }, kErrCardNotConnected, base);
    ExpectCoded([&] { r.Card().GetSectorCount(); }, kErrCardNotConnected, base);
    ExpectCoded([&] { r.Card().Login(0, false, kKeyTypeA, 0); }, kErrCardNotConnected, base);
    r.Card().ConnectCard();
    ExpectCoded([&] { r.Card().WriteData(nullptr, 0, 0, data, 0); }, kErrTokenAccessDenied);
    ExpectCoded([&] { r.Card().ReadData(nullptr, 0, 0, 0); }, kErrTokenAccessDenied);
    r.SelectAndLogin();
    r.Card().WriteData(nullptr, 0, 0, data, 0);
    ExpectCoded([&] { r.Card().WriteData(nullptr, 0, 0, nullptr, 1); }, kErrInvalidParameter);
    ExpectCoded([&] { r.Card().ReadBlock(4); }, kErrTokenAccessDenied);
    ExpectCoded([&] { r.Card().WriteBlock(4, data); }, kErrTokenAccessDenied);
    // A 1K card has no sector 16; the refused login leaves the last one.
    ExpectCoded([&] { r.Card().Login(16, false, kKeyTypeA, 0); }, kErrInvalidParameter);
    EXPECT_EQ(r.TakeLog(), "");
    // Releasing the card keeps the login but ends block access.
    r.Card().DisconnectCard();
    EXPECT_EQ(r.Card().AuthenticatedSector(), 0);
    ExpectCoded([&] { r.Card().ReadBlock(1); }, kErrCardNotConnected, base);
}

TEST_P(LinearAccess, CallersBlockMapIsCheckedThenFollowedInItsOrder) {
    const Bytes image = PatternedCard(CardKind::kClassic1K);
    ReaderWithCard r(GetParam(), image);
    r.SelectAndLogin();
    const Bytes data(32, 0xEE);
    // Block 0, a trailer, a repeat, a block the 1K card lacks, more than 47 blocks.
    const std::vector<std::vector<std::uint8_t>> unsafe = {
        {0}, {1, 3}, {1, 2, 1}, {64}, {1, 200}, std::vector<std::uint8_t>(48, 1)};
    for (const auto& map : unsafe) {
        const auto count = static_cast<std::uint8_t>(map.size());
        ExpectCoded([&] { r.Card().WriteData(map.data(), count, 0, data.data(), 16); },
                    kErrInvalidParameter);
        ExpectCoded([&] { r.Card().ReadData(map.data(), count, 0, 16); }, kErrInvalidParameter);
    }
    ExpectCoded([&] { r.Card().CheckBlockMap(nullptr, 1); }, kErrInvalidParameter);
    EXPECT_EQ(r.TakeLog(), "");
    EXPECT_TRUE(SameImage(r.Image(), image));

    // Bytes 8 to 23 of the range: the second half of block 9, the first of block 1.
    const std::uint8_t map[] = {9, 1};
    r.Card().WriteData(map, 2, 8, data.data(), 16);
    Bytes expected = image;
    std::fill_n(expected.begin() + 9 * 16 + 8, 8, 0xEE);
    std::fill_n(expected.begin() + 1 * 16, 8, 0xEE);
    EXPECT_TRUE(SameImage(r.Image(), expected));
}

TEST_P(LinearAccess, TrailerWriteForgivesOnlyTheVariantsOwnReadBackCode) {
    const std::int16_t own = Usb() ? -3040 : -3010, other = Usb() ? -3010 : -3040;
    ReaderWithCard r(GetParam(), PatternedCard(CardKind::kClassic1K));
    r.SelectAndLogin();
    const std::uint8_t* key = kTransportKey.data();
    r.Field().FailCall(r.Reader(), "Write", 1, own);
    r.Card().WriteTrailer(0, key, key, 0, 0, 0, 1);
    r.Field().FailCall(r.Reader(), "Write", 1, other);
    ExpectReaderError([&] { r.Card().WriteTrailer(0, key, key, 0, 0, 0, 1); }, other);
    const std::uint8_t block[16] = {};
    r.Field().FailCall(r.Reader(), "Write", 1, own);
    ExpectReaderError([&] { r.Card().WriteBlock(1, block); }, own);
}

TEST_P(LinearAccess, LoginPassesTheSlotAndModeOfTheKeyChoice) {
    ReaderWithCard r(GetParam(), PatternedCard(CardKind::kClassic4K));
    r.Card().ConnectCard();
    r.Field().SetStoredKey(r.Reader(), 4, kTransportKey);
    r.TakeLog();
    r.Card().Login(39, true, kKeyTypeA, 2);  // key A of index 2 in the reader: slot 4
    EXPECT_EQ(r.TakeLog(), std::string("MultiTagSelect; Login sector=60 mode=") +
                               (Usb() ? "175" : "3") + " slot=4; ");
    EXPECT_TRUE(r.Card().LastLoginUsedStoredKey());

    // Key B of index 3 from the cache: slot 7. Transport trailers keep key B
    // readable, so the card refuses it and the last login stands.
    r.Card().StoreKey(false, kKeyTypeB, 3, kTransportKey.data());
    ExpectReaderError([&] { r.Card().Login(33, false, kKeyTypeB, 3); }, -4011);
    EXPECT_EQ(r.TakeLog(), std::string("MultiTagSelect; Login sector=36 mode=") +
                               (Usb() ? "187" : "1") + " slot=7; ");
    EXPECT_EQ(r.Card().AuthenticatedSector(), 39);
    EXPECT_EQ(r.Card().LastKeyIndex(), 2);

    // Sectors the card lacks, bad key types and indexes never reach the reader.
    ExpectCoded([&] { r.Card().Login(40, false, kKeyTypeA, 0); }, kErrInvalidParameter);
    ExpectCoded([&] { r.Card().Login(1, false, 0x62, 0); }, kErrInvalidParameter);
    ExpectCoded([&] { r.Card().Login(1, false, kKeyTypeA, 16); }, kErrInvalidParameter);
    EXPECT_EQ(r.TakeLog(), "");
}

TEST_P(LinearAccess, SelectionForgetsTheLoginButARefusedTagLeavesIt) {
    ReaderWithCard r(GetParam(), PatternedCard(CardKind::kClassic4K));
    r.SelectAndLogin();
    r.Card().DisconnectCard();
    r.Field().RemoveCard(r.Reader(), kCardFile);
    r.Field().NewCard(r.Reader(), CardKind::kSevenByteUid);
    ExpectCoded([&] { r.Card().ConnectCard(); }, kErrUnsupportedTokenType);
    r.ExpectReleased();
    EXPECT_EQ(r.Card().AuthenticatedSector(), 0);
    EXPECT_EQ(r.Card().LastKeyType(), kKeyTypeA);

    r.Field().RemoveCard(r.Reader());
    r.Field().PlaceCard(kCardFile, r.Reader());
    r.Card().ConnectCard();
    EXPECT_EQ(r.Card().AuthenticatedSector(), CACR120Mifare::kNoSector);
    EXPECT_EQ(r.Card().LastKeyType(), 0xFF);
    EXPECT_EQ(r.Card().LastKeyIndex(), 0xFF);
}

INSTANTIATE_TEST_SUITE_P(BothLibraries, LinearAccess, testing::Values(kSerial, kUsb),
                         [](const auto& info) { return Name(info.param); });

}  // namespace
}  // namespace cardtest
