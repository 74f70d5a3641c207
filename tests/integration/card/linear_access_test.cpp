// Sector login, block access and linear data access through the virtual reader,
// both library variants. Reader calls are counted from the reader's call log.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "card_test_support.h"
#include "errors/coded_exception.h"
#include "reader/reader_error.h"

namespace cardtest {
namespace {

using testing::ElementsAre;

const std::u16string kMifare = u"PCSCCard_Mifare";
const std::u16string kBase = u"ACR120Base";

class LinearAccess : public testing::TestWithParam<Variant> {
protected:
    bool Usb() const { return GetParam().reader == "USB1"; }
    static std::string Describe(const std::vector<Call>& calls) {
        std::string text;
        for (const auto& call : calls) {
            text += call.function;
            for (const char* arg : {"block", "sector", "mode", "slot"}) {
                if (call.args.count(arg)) text += std::string(" ") + arg + "=" + call.args.at(arg);
            }
            text += "; ";
        }
        return text;
    }
};

TEST_P(LinearAccess, ReadsLogInOnlyWhenTheNextBlockIsInAnotherSector) {
    const Bytes image = PatternedCard(CardKind::kClassic1K);
    ReaderWithCard r(GetParam(), image);
    r.SelectAndLogin();
    r.Card().ReadData(nullptr, 0, 0, 2);
    EXPECT_EQ(Describe(r.TakeCalls()), "Read block=1; ");
    EXPECT_THAT(r.Card().ReadBuffer(), ElementsAre(image[16], image[17]));

    r.Card().ReadData(nullptr, 0, 30, 4);
    const std::string login = Usb() ? "Login sector=1 mode=170 slot=0; " : "Login sector=1 mode=0 slot=0; ";
    EXPECT_EQ(Describe(r.TakeCalls()), "Read block=2; MultiTagSelect; " + login + "Read block=4; ");
    EXPECT_THAT(r.Card().ReadBuffer(), ElementsAre(image[46], image[47], image[64], image[65]));
}

TEST_P(LinearAccess, RangeMayEndAtTheEndOfTheDataAreaButNotBeyond) {
    for (CardKind kind : {CardKind::kClassic1K, CardKind::kClassic4K}) {
        const Bytes image = PatternedCard(kind);
        ReaderWithCard r(GetParam(), image);
        r.SelectAndLogin();
        const auto size = static_cast<std::uint32_t>(DataAreaSize(kind));  // 752 or 3440
        r.Card().ReadData(nullptr, 0, 0, size);
        EXPECT_EQ(r.Card().ReadBuffer(), DataArea(image, kind));
        r.TakeCalls();
        const Bytes data(size + 1, 0xAB);
        ExpectCoded([&] { r.Card().ReadData(nullptr, 0, 0, size + 1); }, kErrInvalidParameter, kMifare);
        ExpectCoded([&] { r.Card().ReadData(nullptr, 0, size - 1, 2); }, kErrInvalidParameter, kMifare);
        // An offset near 2^32 must not wrap round into the map.
        ExpectCoded([&] { r.Card().ReadData(nullptr, 0, 0xFFFFFFFFu, 2); }, kErrInvalidParameter, kMifare);
        ExpectCoded([&] { r.Card().WriteData(nullptr, 0, 0, data.data(), size + 1); }, kErrInvalidParameter,
                    kMifare);
        EXPECT_TRUE(r.TakeCalls().empty());
        r.Card().WriteData(nullptr, 0, size - 1, data.data(), 1);
        EXPECT_TRUE(SameImage(r.Image(), WithData(image, kind, size - 1, Bytes{0xAB})));
    }
}

TEST_P(LinearAccess, EveryAccessNeedsACardAndALogin) {
    ReaderWithCard r(GetParam(), PatternedCard(CardKind::kClassic1K));
    const std::uint8_t data[1] = {0};
    ExpectCoded([&] { r.Card().WriteData(nullptr, 0, 0, data, 0); }, kErrCardNotConnected, kBase);
    ExpectCoded([&] { r.Card().GetSectorCount(); }, kErrCardNotConnected, kBase);
    ExpectCoded([&] { r.Card().Login(0, false, kKeyTypeA, 0); }, kErrCardNotConnected, kBase);
    r.Card().ConnectCard();
    ExpectCoded([&] { r.Card().WriteData(nullptr, 0, 0, data, 0); }, kErrTokenAccessDenied, kMifare);
    ExpectCoded([&] { r.Card().ReadData(nullptr, 0, 0, 0); }, kErrTokenAccessDenied, kMifare);
    r.SelectAndLogin();
    r.Card().WriteData(nullptr, 0, 0, data, 0);
    ExpectCoded([&] { r.Card().WriteData(nullptr, 0, 0, nullptr, 1); }, kErrInvalidParameter, kMifare);
    ExpectCoded([&] { r.Card().ReadBlock(4); }, kErrTokenAccessDenied, kMifare);
    ExpectCoded([&] { r.Card().WriteBlock(4, data); }, kErrTokenAccessDenied, kMifare);
    EXPECT_TRUE(r.TakeCalls().empty());
    // Releasing the card keeps the login but ends block access.
    r.Card().DisconnectCard();
    EXPECT_EQ(r.Card().AuthenticatedSector(), 0);
    ExpectCoded([&] { r.Card().ReadBlock(1); }, kErrCardNotConnected, kBase);
}

TEST_P(LinearAccess, WholeBlocksAreWrittenBlindAndPartialOnesReadFirst) {
    const Bytes image = PatternedCard(CardKind::kClassic1K);
    ReaderWithCard r(GetParam(), image);
    r.SelectAndLogin();
    const Bytes whole(16, 0xC5);
    r.Card().WriteData(nullptr, 0, 16, whole.data(), 16);
    EXPECT_EQ(Describe(r.TakeCalls()), "Write block=2; ");
    const Bytes three{0xD1, 0xD2, 0xD3};
    r.Card().WriteData(nullptr, 0, 17, three.data(), 3);
    EXPECT_EQ(Describe(r.TakeCalls()), "Read block=2; Write block=2; ");
    EXPECT_TRUE(SameImage(r.Image(), WithData(WithBlock(image, 2, whole), CardKind::kClassic1K, 17, three)));
}

TEST_P(LinearAccess, CallersBlockMapIsCheckedThenFollowedInItsOrder) {
    const Bytes image = PatternedCard(CardKind::kClassic1K);
    ReaderWithCard r(GetParam(), image);
    r.SelectAndLogin();
    const Bytes data(32, 0xEE);
    const std::vector<std::vector<std::uint8_t>> unsafe = {{0}, {1, 3}, {1, 2, 1}, {64}, {1, 200}};
    for (const auto& map : unsafe) {
        const auto count = static_cast<std::uint8_t>(map.size());
        ExpectCoded([&] { r.Card().WriteData(map.data(), count, 0, data.data(), 16); }, kErrInvalidParameter,
                    kMifare);
        ExpectCoded([&] { r.Card().ReadData(map.data(), count, 0, 16); }, kErrInvalidParameter, kMifare);
    }
    const std::vector<std::uint8_t> tooLong(48, 1);
    ExpectCoded([&] { r.Card().CheckBlockMap(tooLong.data(), 48); }, kErrInvalidParameter, kMifare);
    ExpectCoded([&] { r.Card().CheckBlockMap(nullptr, 1); }, kErrInvalidParameter, kMifare);
    EXPECT_TRUE(r.TakeCalls().empty());
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
    const std::int16_t own = Usb() ? -3040 : -3010;
    const std::int16_t other = Usb() ? -3010 : -3040;
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
    r.TakeCalls();
    r.Card().Login(39, true, kKeyTypeA, 2);  // key A of index 2 in the reader: slot 4
    EXPECT_EQ(Describe(r.TakeCalls()),
              std::string("MultiTagSelect; Login sector=60 mode=") + (Usb() ? "175" : "3") + " slot=4; ");
    EXPECT_TRUE(r.Card().LastLoginUsedStoredKey());

    // Key B of index 3 from the cache: slot 7. Transport trailers keep key B
    // readable, so the card refuses it and the last login stands.
    r.Card().StoreKey(false, kKeyTypeB, 3, kTransportKey.data());
    ExpectReaderError([&] { r.Card().Login(33, false, kKeyTypeB, 3); }, -4011);
    EXPECT_EQ(Describe(r.TakeCalls()),
              std::string("MultiTagSelect; Login sector=36 mode=") + (Usb() ? "187" : "1") + " slot=7; ");
    EXPECT_EQ(r.Card().AuthenticatedSector(), 39);
    EXPECT_EQ(r.Card().LastKeyIndex(), 2);

    // Sectors the card lacks, bad key types and indexes never reach the reader.
    ExpectCoded([&] { r.Card().Login(40, false, kKeyTypeA, 0); }, kErrInvalidParameter, kMifare);
    ExpectCoded([&] { r.Card().Login(1, false, 0x62, 0); }, kErrInvalidParameter, kMifare);
    ExpectCoded([&] { r.Card().Login(1, false, kKeyTypeA, 16); }, kErrInvalidParameter, kMifare);
    EXPECT_TRUE(r.TakeCalls().empty());
}

TEST_P(LinearAccess, OneKCardHasNoSectorSixteen) {
    ReaderWithCard r(GetParam(), PatternedCard(CardKind::kClassic1K));
    r.SelectAndLogin();
    ExpectCoded([&] { r.Card().Login(16, false, kKeyTypeA, 0); }, kErrInvalidParameter, kMifare);
    EXPECT_TRUE(r.TakeCalls().empty());
    EXPECT_EQ(r.Card().AuthenticatedSector(), 0);
}

TEST_P(LinearAccess, SelectionForgetsTheLoginButARefusedTagLeavesIt) {
    ReaderWithCard r(GetParam(), PatternedCard(CardKind::kClassic4K));
    r.SelectAndLogin();
    r.Card().DisconnectCard();
    r.Field().RemoveCard(r.Reader(), kCardFile);
    r.Field().NewCard(r.Reader(), CardKind::kSevenByteUid);
    ExpectCoded([&] { r.Card().ConnectCard(); }, kErrUnsupportedTokenType, kMifare);
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

INSTANTIATE_TEST_SUITE_P(BothLibraries, LinearAccess, testing::Values(kSerial, kUsb), PrintVariant);

}  // namespace
}  // namespace cardtest
