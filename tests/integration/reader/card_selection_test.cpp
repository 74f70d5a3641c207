// Card selection: which tag is selected, how its type is told, and that every
// way out leaves the card released and the reader lock free.

#include "connection_support.h"

namespace {

using vreader::Bytes;
using vreader::CardKind;

class CardSelection : public OverBothLibraries {
protected:
    void SetUp() override { Open(); }
    void ExpectReleased() {
        EXPECT_FALSE(connection_.IsCardConnected());
        EXPECT_TRUE(connection_.ReaderLockIsFree());
    }
};

TEST_P(CardSelection, EachCardKindGivesItsTypeAndSerialNumber) {
    struct Case {
        CardKind kind;
        Bytes uid;
        std::uint16_t cardType;
        std::uint8_t tagType;
        bool flagZero;  // a serial reader that gives no type flag: the serial number decides
    };
    // The longest serial number first: a shorter one after it must not keep its tail.
    for (const Case& c :
         {Case{CardKind::kSevenByteUid, {4, 1, 2, 3, 4, 5, 6}, kCardTypeSevenByteUid, 5, false},
          Case{CardKind::kClassic1K, {0x11, 0x22, 0x33, 0x44}, kCardTypeMifare1K, 2, false},
          Case{CardKind::kClassic4K, {0x55, 0x66, 0x77, 0x88}, kCardTypeMifare4K, 3, false},
          Case{CardKind::kClassic4K, {9, 8, 7, 6}, kCardTypeMifare1K, 0, true},
          // Any of bytes 5 to 7 set makes a 7-byte tag; here only the seventh.
          Case{CardKind::kSevenByteUid, {4, 1, 2, 3, 0, 0, 7}, kCardTypeSevenByteUid, 0, true}}) {
        if (c.flagZero && !GetParam().serial) {
            continue;
        }
        SCOPED_TRACE(testing::Message() << c.cardType << (c.flagZero ? " without type flag" : ""));
        field_.SetTypeFlagZero(Reader(), c.flagZero);
        field_.NewCard(Reader(), c.kind, c.uid, "card.mfd");
        connection_.ConnectCard();
        EXPECT_TRUE(connection_.IsCardConnected());
        EXPECT_EQ(connection_.CardType(), c.cardType);
        EXPECT_EQ(connection_.TagType(), c.tagType);
        EXPECT_EQ(connection_.SerialLength(), c.uid.size());
        Bytes serial = c.uid;
        serial.resize(10);
        EXPECT_EQ(connection_.Serial(), serial);
        connection_.DisconnectCard();
        ExpectReleased();
        field_.RemoveCard(Reader(), "card.mfd");
    }
}

TEST_P(CardSelection, OfTwoTagsTheFirstListedIsSelected) {
    field_.NewCard(Reader(), CardKind::kClassic4K, Bytes{0xA1, 0xA2, 0xA3, 0xA4}, "a.mfd");
    field_.NewCard(Reader(), CardKind::kClassic1K, Bytes{0xB1, 0xB2, 0xB3, 0xB4}, "b.mfd");
    connection_.ConnectCard();
    EXPECT_EQ(connection_.Serial()[0], 0xA1);
    EXPECT_EQ(connection_.CardType(), kCardTypeMifare4K);
}

TEST_P(CardSelection, MoreTagsReportedThanTheListsHoldStillSelectsTheFirst) {
    field_.NewCard(Reader(), CardKind::kClassic1K, Bytes{1, 2, 3, 4});
    for (int count : {5, 17, 21, 255}) {
        SCOPED_TRACE(count);
        field_.ReportTagCount(Reader(), count);
        connection_.ConnectCard();
        EXPECT_EQ(connection_.CardType(), kCardTypeMifare1K);
        EXPECT_EQ(connection_.Serial(), (Bytes{1, 2, 3, 4, 0, 0, 0, 0, 0, 0}));
        connection_.DisconnectCard();
    }
}

// The USB library reads as many bytes as the length it is given says, from a
// 10-byte buffer; a longer length reported by a listing must not reach it.
std::uint8_t gLengthSelected = 0;

std::int16_t ACR120_CALL ListingWithLength200(std::int16_t, std::uint8_t* count,
                                              std::uint8_t* types, std::uint8_t* lengths,
                                              std::uint8_t* serials) {
    *count = 1;
    types[0] = acr120::kTagMifare1K;
    lengths[0] = 200;
    std::fill_n(serials, 10, std::uint8_t{7});
    return 0;
}

std::int16_t ACR120_CALL SelectionWithLength200(std::int16_t, std::uint8_t length,
                                                std::uint8_t* serial, std::uint8_t* type,
                                                std::uint8_t* lengthOut, std::uint8_t* serialOut) {
    gLengthSelected = length;
    *type = acr120::kTagMifare1K;
    *lengthOut = 200;
    std::copy_n(serial, 10, serialOut);
    return 0;
}

TEST_P(CardSelection, AUsbSerialNumberLengthAbove10IsTakenAs10) {
    if (GetParam().serial) {
        return;
    }
    connection_.UsbLibrary().Replace(&CACR120UDll::Entries::listTags, &ListingWithLength200);
    connection_.UsbLibrary().Replace(&CACR120UDll::Entries::multiTagSelect,
                                     &SelectionWithLength200);
    connection_.ConnectCard();
    EXPECT_EQ(gLengthSelected, 10);
    EXPECT_EQ(connection_.SerialLength(), 10);
}

TEST_P(CardSelection, EveryFailureLeavesTheCardReleasedAndTheLockFree) {
    EXPECT_EQ(ErrorOf([&] { connection_.ConnectCard(); }), acr120::rc::kNoCard);
    ExpectReleased();

    field_.NewCard(Reader(), CardKind::kClassic1K);
    for (const char* failing : {GetParam().listing, "MultiTagSelect"}) {
        SCOPED_TRACE(failing);
        connection_.ConnectCard();  // a failure also drops a card selected before
        field_.FailCall(Reader(), failing, 1, acr120::rc::kOperationFailed);
        EXPECT_EQ(ErrorOf([&] { connection_.ConnectCard(); }), acr120::rc::kOperationFailed);
        ExpectReleased();
    }
    // The card leaves between the listing and the selection.
    field_.RemoveCardAfter(Reader(), GetParam().listing, 1);
    EXPECT_LT(ErrorOf([&] { connection_.ConnectCard(); }), 0);
    ExpectReleased();

    connection_.Disconnect();
    EXPECT_EQ(ErrorOf([&] { connection_.ConnectCard(); }), kErrReaderNotConnected);
    ExpectReleased();
}

INSTANTIATE_TEST_SUITE_P(BothLibraries, CardSelection, testing::Values(kSerial, kUsb),
                         PrintVariant);

}  // namespace
