// Card selection: which tag is selected, how its type is told, and that every
// way out leaves the card released and the reader lock free.

#include <algorithm>

#include "connection_support.h"

namespace {

class CardSelection : public testing::TestWithParam<Variant> {
protected:
    void SetUp() override { connection_.Open(GetParam().name); }

    const char* Reader() const { return GetParam().reader; }

    void ExpectReleased() {
        EXPECT_FALSE(connection_.IsCardConnected());
        EXPECT_TRUE(connection_.ReaderLockIsFree());
    }

    vreader::ScopedVirtualField field_;
    ProbeConnection connection_;
};

TEST_P(CardSelection, EachCardKindGivesItsTypeAndSerialNumber) {
    struct Case {
        vreader::CardKind kind;
        vreader::Bytes uid;
        std::uint16_t cardType;
        std::uint8_t tagType;
        std::uint8_t length;
    };
    for (const Case& c :
         {Case{vreader::CardKind::kClassic1K, Uid({0x11, 0x22, 0x33, 0x44}), kCardTypeMifare1K, 2, 4},
          Case{vreader::CardKind::kClassic4K, Uid({0x55, 0x66, 0x77, 0x88}), kCardTypeMifare4K, 3, 4},
          Case{vreader::CardKind::kSevenByteUid, Uid({4, 1, 2, 3, 4, 5, 6}), kCardTypeSevenByteUid,
               5, 7}}) {
        field_.NewCard(Reader(), c.kind, c.uid, "card.mfd");
        connection_.ConnectCard();
        EXPECT_TRUE(connection_.IsCardConnected());
        EXPECT_EQ(connection_.CardType(), c.cardType);
        EXPECT_EQ(connection_.TagType(), c.tagType);
        EXPECT_EQ(connection_.SerialLength(), c.length);
        EXPECT_TRUE(std::equal(c.uid.begin(), c.uid.end(), connection_.Serial().begin()));
        EXPECT_TRUE(std::all_of(connection_.Serial().begin() + static_cast<long>(c.uid.size()),
                                connection_.Serial().end(), [](std::uint8_t b) { return b == 0; }));
        connection_.DisconnectCard();
        ExpectReleased();
        field_.RemoveCard(Reader(), "card.mfd");
    }
}

TEST_P(CardSelection, TheFirstListedTagIsSelectedAndReselectedOnEveryCall) {
    field_.NewCard(Reader(), vreader::CardKind::kClassic4K, Uid({0xA1, 0xA2, 0xA3, 0xA4}), "a.mfd");
    field_.NewCard(Reader(), vreader::CardKind::kClassic1K, Uid({0xB1, 0xB2, 0xB3, 0xB4}), "b.mfd");
    connection_.ConnectCard();
    EXPECT_EQ(connection_.Serial()[0], 0xA1);
    EXPECT_EQ(connection_.CardType(), kCardTypeMifare4K);

    field_.RemoveCard(Reader(), "a.mfd");
    connection_.ConnectCard();
    EXPECT_TRUE(connection_.IsCardConnected());
    EXPECT_EQ(connection_.Serial()[0], 0xB1);
    EXPECT_EQ(connection_.CardType(), kCardTypeMifare1K);
}

TEST_P(CardSelection, MoreTagsReportedThanTheListsHoldStillSelectsTheFirst) {
    field_.NewCard(Reader(), vreader::CardKind::kClassic1K, Uid({1, 2, 3, 4}));
    for (int count : {5, 17, 21, 255}) {
        field_.ReportTagCount(Reader(), count);
        connection_.ConnectCard();
        EXPECT_EQ(connection_.CardType(), kCardTypeMifare1K) << count;
        EXPECT_EQ(connection_.Serial()[0], 1);
        EXPECT_EQ(connection_.SerialLength(), 4);
        connection_.DisconnectCard();
    }
}

TEST_P(CardSelection, EveryFailureLeavesTheCardReleasedAndTheLockFree) {
    EXPECT_EQ(ReaderErrorOf([&] { connection_.ConnectCard(); }), acr120::rc::kNoCard);
    ExpectReleased();

    field_.NewCard(Reader(), vreader::CardKind::kClassic1K);
    connection_.ConnectCard();
    field_.FailCall(Reader(), GetParam().listing, 1, acr120::rc::kOperationFailed);
    EXPECT_EQ(ReaderErrorOf([&] { connection_.ConnectCard(); }), acr120::rc::kOperationFailed);
    ExpectReleased();

    connection_.ConnectCard();
    field_.FailCall(Reader(), "MultiTagSelect", 1, acr120::rc::kLoginFailed);
    EXPECT_EQ(ReaderErrorOf([&] { connection_.ConnectCard(); }), acr120::rc::kLoginFailed);
    ExpectReleased();

    // The card leaves between the listing and the selection.
    field_.RemoveCardAfter(Reader(), GetParam().listing, 1);
    EXPECT_LT(ReaderErrorOf([&] { connection_.ConnectCard(); }), 0);
    ExpectReleased();

    connection_.Disconnect();
    EXPECT_EQ(CodedErrorOf([&] { connection_.ConnectCard(); }), kErrReaderNotConnected);
    ExpectReleased();
}

INSTANTIATE_TEST_SUITE_P(BothLibraries, CardSelection, testing::Values(kSerial, kUsb), PrintVariant);

// A serial reader that gives no type flag: the serial number alone decides.
class UnflaggedSerialSelection : public testing::Test {
protected:
    void SetUp() override {
        field_.SetTypeFlagZero("COM1");
        connection_.Open(u"COM1");
    }
    vreader::ScopedVirtualField field_;
    ProbeConnection connection_;
};

TEST_F(UnflaggedSerialSelection, FourByteSerialCountsAs1KWhateverTheCard) {
    field_.NewCard("COM1", vreader::CardKind::kClassic4K, Uid({9, 8, 7, 6}));
    connection_.ConnectCard();
    EXPECT_EQ(connection_.CardType(), kCardTypeMifare1K);
    EXPECT_EQ(connection_.SerialLength(), 4);
    EXPECT_EQ(connection_.TagType(), 0);
    EXPECT_EQ(connection_.Serial()[0], 9);
}

TEST_F(UnflaggedSerialSelection, SerialWithBytesFiveToSevenSetCountsAsSevenByteTag) {
    // Only the seventh byte is non-zero: any of the three is enough.
    field_.NewCard("COM1", vreader::CardKind::kSevenByteUid, Uid({4, 1, 2, 3, 0, 0, 7}));
    connection_.ConnectCard();
    EXPECT_EQ(connection_.CardType(), kCardTypeSevenByteUid);
    EXPECT_EQ(connection_.SerialLength(), 7);
    EXPECT_EQ(connection_.TagType(), 0);
}

}  // namespace
