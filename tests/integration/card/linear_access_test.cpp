// Sector login, block access and linear data access through the virtual reader,
// both library variants. Reader calls are counted from the reader's call log.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vector>

#include "card_test_support.h"
#include "errors/coded_exception.h"
#include "errors/mifare_exception.h"
#include "reader/reader_error.h"

namespace cardtest {
namespace {

using testing::ElementsAre;

const std::u16string kMifare = u"PCSCCard_Mifare";
const std::u16string kBase = u"ACR120Base";

class LinearAccess : public testing::TestWithParam<Variant> {
protected:
    bool Usb() const { return GetParam().reader == "USB1"; }
    int KeyModeA() const { return Usb() ? 0xAA : 0; }
};

TEST_P(LinearAccess, ShortReadStaysInTheFirstBlockWithoutAnotherLogin) {
    const Bytes image = PatternedCard(CardKind::kClassic1K);
    ReaderWithCard r(GetParam(), image);
    r.SelectAndLogin();
    r.Card().ReadData(nullptr, 0, 0, 2);
    const auto calls = r.TakeCalls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].function, "Read");
    EXPECT_EQ(calls[0].Arg("block"), 1);
    EXPECT_THAT(r.Card().ReadBuffer(), ElementsAre(image[16], image[17]));
}

TEST_P(LinearAccess, ReadAcrossASectorBorderLogsInWithThePreviousKeyChoice) {
    const Bytes image = PatternedCard(CardKind::kClassic1K);
    ReaderWithCard r(GetParam(), image);
    r.SelectAndLogin();
    r.Card().ReadData(nullptr, 0, 30, 4);
    const auto calls = r.TakeCalls();
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_EQ(calls[0].function, "Read");
    EXPECT_EQ(calls[0].Arg("block"), 2);
    EXPECT_EQ(calls[1].function, "MultiTagSelect");
    EXPECT_EQ(calls[2].function, "Login");
    EXPECT_EQ(calls[2].Arg("sector"), 1);
    EXPECT_EQ(calls[2].Arg("mode"), KeyModeA());
    EXPECT_EQ(calls[2].Arg("slot"), 0);
    EXPECT_EQ(calls[3].function, "Read");
    EXPECT_EQ(calls[3].Arg("block"), 4);
    EXPECT_THAT(r.Card().ReadBuffer(),
                ElementsAre(image[2 * 16 + 14], image[2 * 16 + 15], image[4 * 16], image[4 * 16 + 1]));
    EXPECT_EQ(r.Card().AuthenticatedSector(), 1);
}

TEST_P(LinearAccess, RangeMayEndAtTheEndOfTheDataAreaButNotBeyond) {
    for (CardKind kind : {CardKind::kClassic1K, CardKind::kClassic4K}) {
        const Bytes image = PatternedCard(kind);
        ReaderWithCard r(GetParam(), image);
        r.SelectAndLogin();
        const auto size = static_cast<std::uint32_t>(DataAreaSize(kind));
        ASSERT_EQ(size, kind == CardKind::kClassic1K ? 752u : 3440u);

        r.Card().ReadData(nullptr, 0, 0, size);
        EXPECT_EQ(r.Card().ReadBuffer(), DataArea(image, kind));
        r.TakeCalls();
        ExpectCoded([&] { r.Card().ReadData(nullptr, 0, 0, size + 1); }, kErrInvalidParameter, kMifare);
        ExpectCoded([&] { r.Card().ReadData(nullptr, 0, size - 1, 2); }, kErrInvalidParameter, kMifare);
        // An offset near 2^32 must not wrap round into the map.
        ExpectCoded([&] { r.Card().ReadData(nullptr, 0, 0xFFFFFFFFu, 2); }, kErrInvalidParameter,
                    kMifare);
        const Bytes tooMuch(size + 1, 0xAB);
        ExpectCoded([&] { r.Card().WriteData(nullptr, 0, 0, tooMuch.data(), size + 1); },
                    kErrInvalidParameter, kMifare);
        EXPECT_TRUE(r.TakeCalls().empty());

        r.Card().WriteData(nullptr, 0, size - 1, tooMuch.data(), 1);
        EXPECT_TRUE(SameImage(r.Image(), WithData(image, kind, size - 1, Bytes{0xAB})));
    }
}

TEST_P(LinearAccess, EmptyWriteStillNeedsACardAndALogin) {
    ReaderWithCard r(GetParam(), PatternedCard(CardKind::kClassic1K));
    const std::uint8_t data[1] = {0};
    ExpectCoded([&] { r.Card().WriteData(nullptr, 0, 0, data, 0); }, kErrCardNotConnected, kBase);
    r.Card().ConnectCard();
    ExpectCoded([&] { r.Card().WriteData(nullptr, 0, 0, data, 0); }, kErrTokenAccessDenied, kMifare);
    ExpectCoded([&] { r.Card().ReadData(nullptr, 0, 0, 0); }, kErrTokenAccessDenied, kMifare);
    r.SelectAndLogin();
    r.Card().WriteData(nullptr, 0, 0, data, 0);
    r.Card().WriteData(nullptr, 0, 0, nullptr, 0);
    EXPECT_TRUE(r.TakeCalls().empty());
    ExpectCoded([&] { r.Card().WriteData(nullptr, 0, 0, nullptr, 1); }, kErrInvalidParameter, kMifare);
}

TEST_P(LinearAccess, WholeBlocksAreWrittenBlindAndPartialOnesReadFirst) {
    const Bytes image = PatternedCard(CardKind::kClassic1K);
    ReaderWithCard r(GetParam(), image);
    r.SelectAndLogin();
    Bytes whole(16);
    for (int i = 0; i < 16; ++i) whole[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(0xC0 + i);
    r.Card().WriteData(nullptr, 0, 16, whole.data(), 16);
    auto calls = r.TakeCalls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].function, "Write");
    EXPECT_EQ(calls[0].Arg("block"), 2);
    Bytes expected = WithBlock(image, 2, whole);
    EXPECT_TRUE(SameImage(r.Image(), expected));

    const Bytes three{0xD1, 0xD2, 0xD3};
    r.Card().WriteData(nullptr, 0, 17, three.data(), 3);
    calls = r.TakeCalls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].function, "Read");
    EXPECT_EQ(calls[0].Arg("block"), 2);
    EXPECT_EQ(calls[1].function, "Write");
    EXPECT_EQ(calls[1].Arg("block"), 2);
    expected = WithData(expected, CardKind::kClassic1K, 17, three);
    EXPECT_TRUE(SameImage(r.Image(), expected));
}

TEST_P(LinearAccess, WriteAcrossSectorsLogsInOncePerSectorCrossed) {
    const Bytes image = PatternedCard(CardKind::kClassic4K);
    ReaderWithCard r(GetParam(), image);
    r.SelectAndLogin();
    // From the middle of block 62 (sector 15) to the middle of block 128 (sector 32).
    const std::uint32_t offset = 46 * 16 + 8;
    Bytes data(8 + 48 * 16 + 8);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 13);
    r.Card().WriteData(nullptr, 0, offset, data.data(), static_cast<std::uint32_t>(data.size()));
    EXPECT_TRUE(SameImage(r.Image(), WithData(image, CardKind::kClassic4K, offset, data)));
    int logins = 0, reads = 0, writes = 0;
    for (const auto& call : r.TakeCalls()) {
        logins += call.function == "Login";
        reads += call.function == "Read";
        writes += call.function == "Write";
        if (call.function == "Login" && call.Arg("sector") > 31) {
            EXPECT_EQ(call.Arg("sector"), 32);  // sector 32's login number is its own
        }
    }
    EXPECT_EQ(logins, 18);  // sectors 15 to 32
    EXPECT_EQ(reads, 2);    // the first and the last block only
    EXPECT_EQ(writes, 50);
}

TEST_P(LinearAccess, CallersBlockMapIsFollowedInItsOrder) {
    const Bytes image = PatternedCard(CardKind::kClassic4K);
    ReaderWithCard r(GetParam(), image);
    r.SelectAndLogin();
    const std::uint8_t map[] = {200, 1, 64};
    Bytes data(48);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(0x80 + i);
    r.Card().WriteData(map, 3, 0, data.data(), 48);
    Bytes expected = WithBlock(image, 200, Bytes(data.begin(), data.begin() + 16));
    expected = WithBlock(expected, 1, Bytes(data.begin() + 16, data.begin() + 32));
    expected = WithBlock(expected, 64, Bytes(data.begin() + 32, data.end()));
    EXPECT_TRUE(SameImage(r.Image(), expected));
    r.Card().ReadData(map, 3, 10, 20);
    EXPECT_EQ(r.Card().ReadBuffer(), Bytes(data.begin() + 10, data.begin() + 30));
}

TEST_P(LinearAccess, UnsafeBlockMapsAreRefusedBeforeAnyReaderCall) {
    const Bytes image = PatternedCard(CardKind::kClassic1K);
    ReaderWithCard r(GetParam(), image);
    r.SelectAndLogin();
    const std::vector<std::vector<std::uint8_t>> maps = {
        {0}, {1, 0}, {3}, {1, 7}, {1, 2, 1}, {64}, {1, 200},
    };
    Bytes data(16 * 3, 0xEE);
    for (const auto& map : maps) {
        const auto count = static_cast<std::uint8_t>(map.size());
        ExpectCoded([&] { r.Card().CheckBlockMap(map.data(), count); }, kErrInvalidParameter, kMifare);
        ExpectCoded([&] { r.Card().WriteData(map.data(), count, 0, data.data(), 16); },
                    kErrInvalidParameter, kMifare);
        ExpectCoded([&] { r.Card().ReadData(map.data(), count, 0, 16); }, kErrInvalidParameter, kMifare);
    }
    // More entries than the card has data blocks, even valid ones of a 4K card.
    std::vector<std::uint8_t> long1K(48);
    for (std::size_t i = 0; i < long1K.size(); ++i) long1K[i] = static_cast<std::uint8_t>(DataBlocks(CardKind::kClassic4K)[i]);
    ExpectCoded([&] { r.Card().WriteData(long1K.data(), 48, 0, data.data(), 16); },
                kErrInvalidParameter, kMifare);
    ExpectCoded([&] { r.Card().CheckBlockMap(nullptr, 1); }, kErrInvalidParameter, kMifare);
    EXPECT_TRUE(r.TakeCalls().empty());
    EXPECT_TRUE(SameImage(r.Image(), image));

    r.Card().CheckBlockMap(nullptr, 0);
    r.Card().CheckBlockMap(long1K.data(), 47);
}

TEST_P(LinearAccess, TrailerWriteForgivesOnlyTheVariantsOwnReadBackCode) {
    const std::int16_t own = Usb() ? -3040 : -3010;
    const std::int16_t other = Usb() ? -3010 : -3040;
    ReaderWithCard r(GetParam(), PatternedCard(CardKind::kClassic1K));
    r.SelectAndLogin();
    const auto& key = kTransportKey;

    r.Field().FailCall(r.Reader(), "Write", 1, own);
    r.Card().WriteTrailer(0, key.data(), key.data(), 0, 0, 0, 1);

    r.Field().FailCall(r.Reader(), "Write", 1, other);
    ExpectReaderError([&] { r.Card().WriteTrailer(0, key.data(), key.data(), 0, 0, 0, 1); }, other);

    const std::uint8_t block[16] = {};
    r.Field().FailCall(r.Reader(), "Write", 1, own);
    ExpectReaderError([&] { r.Card().WriteBlock(1, block); }, own);
    r.Field().FailCall(r.Reader(), "Write", 1, own);
    ExpectReaderError([&] { r.Card().WriteData(nullptr, 0, 0, block, 16); }, own);
}

TEST_P(LinearAccess, TrailerWriteComposesTheTrailerOfTheSector) {
    const Bytes image = PatternedCard(CardKind::kClassic4K);
    ReaderWithCard r(GetParam(), image);
    r.SelectAndLogin();
    const std::array<std::uint8_t, 6> keyA{1, 2, 3, 4, 5, 6};
    r.Card().StoreKey(false, kKeyTypeA, 0, kTransportKey.data());
    r.Card().Login(39, false, kKeyTypeA, 0);
    r.TakeCalls();
    r.Card().WriteTrailer(39, keyA.data(), kTransportKey.data(), 0, 0, 0, 1);
    const auto calls = r.TakeCalls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].Arg("block"), 255);
    EXPECT_TRUE(SameImage(r.Image(), WithBlock(image, 255, Trailer(keyA, {0xFF, 0x07, 0x80}, kTransportKey))));

    ExpectCoded([&] { r.Card().WriteTrailer(39, nullptr, keyA.data(), 0, 0, 0, 1); },
                kErrInvalidParameter, kMifare);
    ExpectCoded([&] { r.Card().WriteTrailer(40, keyA.data(), keyA.data(), 0, 0, 0, 1); },
                kErrInvalidParameter, kMifare);
    // Only the authenticated sector may be written.
    ExpectCoded([&] { r.Card().WriteTrailer(38, keyA.data(), keyA.data(), 0, 0, 0, 1); },
                kErrTokenAccessDenied, kMifare);
    EXPECT_TRUE(r.TakeCalls().empty());
}

TEST_P(LinearAccess, LoginPassesTheKeySlotAndModeOfTheKeyChoice) {
    ReaderWithCard r(GetParam(), PatternedCard(CardKind::kClassic4K));
    r.Card().ConnectCard();
    // Key B of index 3 from the cache: slot 7.
    r.Card().StoreKey(false, kKeyTypeB, 3, kTransportKey.data());
    r.TakeCalls();
    try {
        r.Card().Login(33, false, kKeyTypeB, 3);
    } catch (const CACR120Exception&) {
        // The transport configuration keeps key B readable, so the card refuses it.
    }
    auto calls = r.TakeCalls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].function, "MultiTagSelect");
    EXPECT_EQ(calls[1].Arg("sector"), 36);
    EXPECT_EQ(calls[1].Arg("slot"), 7);
    EXPECT_EQ(calls[1].Arg("mode"), Usb() ? 0xBB : 1);

    r.Field().SetStoredKey(r.Reader(), 4, kTransportKey);
    r.Card().Login(39, true, kKeyTypeA, 2);
    calls = r.TakeCalls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[1].Arg("sector"), 60);
    EXPECT_EQ(calls[1].Arg("slot"), 4);
    EXPECT_EQ(calls[1].Arg("mode"), Usb() ? 0xAF : 3);
    EXPECT_EQ(r.Card().AuthenticatedSector(), 39);
    EXPECT_TRUE(r.Card().LastLoginUsedStoredKey());
    EXPECT_EQ(r.Card().LastKeyIndex(), 2);
}

TEST_P(LinearAccess, FailedOrRefusedLoginKeepsTheLastLogin) {
    ReaderWithCard r(GetParam(), PatternedCard(CardKind::kClassic1K));
    r.SelectAndLogin();
    const std::array<std::uint8_t, 6> wrong{9, 9, 9, 9, 9, 9};
    r.Card().StoreKey(false, kKeyTypeA, 1, wrong.data());
    ExpectReaderError([&] { r.Card().Login(2, false, kKeyTypeA, 1); }, -4011);
    r.TakeCalls();
    // Sectors the card lacks, bad key types and indexes never reach the reader.
    ExpectCoded([&] { r.Card().Login(16, false, kKeyTypeA, 0); }, kErrInvalidParameter, kMifare);
    ExpectCoded([&] { r.Card().Login(40, false, kKeyTypeA, 0); }, kErrInvalidParameter, kMifare);
    ExpectCoded([&] { r.Card().Login(1, false, 0x62, 0); }, kErrInvalidParameter, kMifare);
    ExpectCoded([&] { r.Card().Login(1, false, kKeyTypeA, 16); }, kErrInvalidParameter, kMifare);
    EXPECT_TRUE(r.TakeCalls().empty());
    EXPECT_EQ(r.Card().AuthenticatedSector(), 0);
    EXPECT_EQ(r.Card().LastKeyIndex(), 0);
    EXPECT_EQ(r.Card().LastKeyType(), kKeyTypeA);
}

TEST_P(LinearAccess, BlocksOutsideTheAuthenticatedSectorAreDenied) {
    ReaderWithCard r(GetParam(), PatternedCard(CardKind::kClassic1K));
    r.SelectAndLogin();
    const std::uint8_t block[16] = {};
    ExpectCoded([&] { r.Card().ReadBlock(4); }, kErrTokenAccessDenied, kMifare);
    ExpectCoded([&] { r.Card().WriteBlock(4, block); }, kErrTokenAccessDenied, kMifare);
    EXPECT_TRUE(r.TakeCalls().empty());
    r.Card().ReadBlock(2);
    EXPECT_EQ(r.Card().ReadBuffer().size(), 16u);
}

TEST_P(LinearAccess, WithoutACardEveryCardOperationFails) {
    ReaderWithCard r(GetParam(), PatternedCard(CardKind::kClassic1K));
    ExpectCoded([&] { r.Card().GetSectorCount(); }, kErrCardNotConnected, kBase);
    ExpectCoded([&] { r.Card().GetDataBlockCount(); }, kErrCardNotConnected, kBase);
    ExpectCoded([&] { r.Card().Login(0, false, kKeyTypeA, 0); }, kErrCardNotConnected, kBase);
    ExpectCoded([&] { r.Card().ReadBlock(1); }, kErrCardNotConnected, kBase);
    ExpectCoded([&] { r.Card().ReadData(nullptr, 0, 0, 2); }, kErrCardNotConnected, kBase);
    r.SelectAndLogin();
    EXPECT_EQ(r.Card().GetSectorCount(), 16);
    EXPECT_EQ(r.Card().GetDataBlockCount(), 47);
    r.Card().DisconnectCard();
    // The login is remembered, but the card is gone.
    EXPECT_EQ(r.Card().AuthenticatedSector(), 0);
    ExpectCoded([&] { r.Card().ReadBlock(1); }, kErrCardNotConnected, kBase);
}

TEST_P(LinearAccess, SevenByteTagIsReleasedAndRefusedWithTheLoginKept) {
    ReaderWithCard r(GetParam(), PatternedCard(CardKind::kClassic4K));
    r.SelectAndLogin();
    EXPECT_EQ(r.Card().GetSectorCount(), 40);
    r.Card().DisconnectCard();
    r.Field().RemoveCard(r.Reader(), kCardFile);
    r.Field().NewCard(r.Reader(), CardKind::kSevenByteUid);
    ExpectCoded([&] { r.Card().ConnectCard(); }, kErrUnsupportedTokenType, kMifare);
    r.ExpectReleased();
    EXPECT_EQ(r.Card().AuthenticatedSector(), 0);
    EXPECT_EQ(r.Card().LastKeyType(), kKeyTypeA);
}

TEST_P(LinearAccess, SelectingACardForgetsTheLastLogin) {
    ReaderWithCard r(GetParam(), PatternedCard(CardKind::kClassic1K));
    r.SelectAndLogin();
    r.Card().ConnectCard();
    EXPECT_EQ(r.Card().AuthenticatedSector(), CACR120Mifare::kNoSector);
    EXPECT_EQ(r.Card().LastKeyType(), 0xFF);
    EXPECT_EQ(r.Card().LastKeyIndex(), 0xFF);
    ExpectCoded([&] { r.Card().ReadData(nullptr, 0, 0, 2); }, kErrTokenAccessDenied, kMifare);
}

INSTANTIATE_TEST_SUITE_P(BothLibraries, LinearAccess, testing::Values(kSerial, kUsb), PrintVariant);

}  // namespace
}  // namespace cardtest
