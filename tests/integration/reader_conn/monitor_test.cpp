// The presence monitor against the virtual field: which messages a change of
// the field gives, what it does when the reader fails or hangs, and how fast it
// stops.

#include <atomic>

#include "connection_support.h"

namespace {

constexpr std::uintptr_t kGone = 0;
constexpr std::uintptr_t k1K = 0x10001;
constexpr std::uintptr_t k4K = 0x20001;
constexpr std::uintptr_t k7Byte = 0x30001;
using WParams = std::vector<std::uintptr_t>;

class Monitor : public testing::TestWithParam<Variant> {
protected:
    void SetUp() override { connection_.Open(GetParam().name); }

    const char* Reader() const { return GetParam().reader; }
    int Listings() const { return field_.CountCalls(Reader(), GetParam().listing); }

    void Start() { ASSERT_TRUE(connection_.StartMonitor(&poster_, kMonitorMessage)); }
    // Returns once the monitor has made `more` further listings.
    void WaitForListings(int more) {
        const int target = Listings() + more;
        ASSERT_TRUE(Eventually([&] { return Listings() >= target; }));
    }

    vreader::ScopedVirtualField field_;
    ProbeConnection connection_;
    RecordingPoster poster_;
};

TEST_P(Monitor, CardPresentAtStartIsReportedOnceWithItsType) {
    field_.NewCard(Reader(), vreader::CardKind::kClassic4K);
    Start();
    ASSERT_TRUE(poster_.WaitFor(1));
    WaitForListings(2);
    EXPECT_EQ(poster_.WParams(), WParams{k4K});
}

TEST_P(Monitor, EmptyStartIsSilentThenComingAndGoingAreReportedOnceEach) {
    Start();
    WaitForListings(2);
    EXPECT_TRUE(poster_.WParams().empty());
    field_.NewCard(Reader(), vreader::CardKind::kSevenByteUid);
    ASSERT_TRUE(poster_.WaitFor(1));
    field_.RemoveCard(Reader());
    ASSERT_TRUE(poster_.WaitFor(2));
    WaitForListings(2);
    EXPECT_EQ(poster_.WParams(), (WParams{k7Byte, kGone}));
}

TEST_P(Monitor, ReplacedCardIsReportedAsGoneThenNew) {
    field_.NewCard(Reader(), vreader::CardKind::kClassic1K, Uid({1, 1, 1, 1}), "a.mfd");
    Start();
    ASSERT_TRUE(poster_.WaitFor(1));
    // Holding the card keeps the monitor off the reader while the cards change.
    connection_.ConnectCard();
    field_.RemoveCard(Reader(), "a.mfd");
    field_.NewCard(Reader(), vreader::CardKind::kClassic4K, Uid({2, 2, 2, 2}), "a.mfd");
    connection_.DisconnectCard();
    ASSERT_TRUE(poster_.WaitFor(3));
    WaitForListings(2);
    EXPECT_EQ(poster_.WParams(), (WParams{k1K, kGone, k4K}));
}

TEST_P(Monitor, SecondCardIsReportedWithTheTypeOfTheFirstListed) {
    field_.NewCard(Reader(), vreader::CardKind::kClassic1K, std::nullopt, "a.mfd");
    Start();
    ASSERT_TRUE(poster_.WaitFor(1));
    field_.NewCard(Reader(), vreader::CardKind::kClassic4K, std::nullopt, "b.mfd");
    ASSERT_TRUE(poster_.WaitFor(3));
    WaitForListings(2);
    EXPECT_EQ(poster_.WParams(), (WParams{k1K, kGone, k1K}));
}

TEST_P(Monitor, NoListingWhileTheWindowHoldsTheCard) {
    field_.NewCard(Reader(), vreader::CardKind::kClassic1K);
    Start();
    ASSERT_TRUE(poster_.WaitFor(1));
    connection_.ConnectCard();
    const int listings = Listings();
    std::this_thread::sleep_for(1200ms);
    EXPECT_EQ(Listings(), listings);
    connection_.DisconnectCard();
    WaitForListings(2);
    EXPECT_EQ(poster_.WParams(), WParams{k1K});
}

TEST_P(Monitor, FailingListingsPostNothingAndKeepThePreviousState) {
    field_.NewCard(Reader(), vreader::CardKind::kClassic1K);
    Start();
    ASSERT_TRUE(poster_.WaitFor(1));
    field_.FailCall(Reader(), GetParam().listing, 1, acr120::rc::kOperationFailed, 0);
    field_.RemoveCard(Reader());
    WaitForListings(3);
    EXPECT_EQ(poster_.WParams(), WParams{k1K});
    // The card is reported gone only once a listing works without it.
    field_.ClearFaults(Reader());
    ASSERT_TRUE(poster_.WaitFor(2));
    EXPECT_EQ(poster_.WParams(), (WParams{k1K, kGone}));
}

TEST_P(Monitor, MoreTagsReportedThanTheListsHoldIsStillOneCard) {
    field_.NewCard(Reader(), vreader::CardKind::kClassic1K);
    field_.ReportTagCount(Reader(), 200);
    Start();
    ASSERT_TRUE(poster_.WaitFor(1));
    WaitForListings(2);
    EXPECT_EQ(poster_.WParams(), WParams{k1K});
}

TEST_P(Monitor, DisconnectEndsTheMonitorWithinOneListingAndOnePollInterval) {
    field_.SetLatency(Reader(), 100ms);
    Start();
    WaitForListings(1);
    const auto start = std::chrono::steady_clock::now();
    connection_.Disconnect();
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_LT(took, 100ms + CMonThread::kPollInterval + 200ms);
    EXPECT_FALSE(connection_.Monitor().IsRunning());
    EXPECT_EQ(connection_.Monitor().LastExitCode(), 0u);
}

INSTANTIATE_TEST_SUITE_P(BothLibraries, Monitor, testing::Values(kSerial, kUsb), PrintVariant);

// The virtual reader only knows tag types 2, 3 and 5, so these listings come
// from stand-ins put into the loaded bindings.
std::int16_t SerialListingOfUnknownType(std::int16_t, std::uint8_t, std::uint8_t* count,
                                        std::uint32_t* flag, std::uint8_t* types,
                                        std::uint8_t* serials) {
    *count = 1;
    *flag = 1;
    types[0] = 0x42;
    serials[0] = 0x99;
    return 0;
}
std::int16_t UsbListingOfUnknownType(std::int16_t, std::uint8_t* count, std::uint8_t* types,
                                     std::uint8_t* lengths, std::uint8_t* serials) {
    *count = 1;
    types[0] = 4;
    lengths[0] = 4;
    serials[0] = 0x99;
    // Beyond the reported length: must not count as part of the serial number.
    serials[7] = 0xEE;
    return 0;
}

TEST(MonitorTagTypes, UnknownTypeByteIsReportedAsCardType0) {
    vreader::ScopedVirtualField field;
    for (const Variant& variant : {kSerial, kUsb}) {
        ProbeConnection connection;
        RecordingPoster poster;
        connection.Open(variant.name);
        connection.SerialLibrary().ACR120_ListTag = &SerialListingOfUnknownType;
        connection.UsbLibrary().ACR120_ListTags = &UsbListingOfUnknownType;
        connection.Monitor().SetPollInterval(20ms);
        ASSERT_TRUE(connection.StartMonitor(&poster, kMonitorMessage));
        ASSERT_TRUE(poster.WaitFor(1));
        std::this_thread::sleep_for(100ms);
        connection.Disconnect();
        EXPECT_EQ(poster.WParams(), WParams{0x00001}) << variant.reader;
    }
}

std::atomic<int> gUsbListings{0};
// Two tags whose serial numbers stay while everything past their lengths, and
// the unlisted entries, change with every listing.
std::int16_t UsbListingWithChangingJunk(std::int16_t, std::uint8_t* count, std::uint8_t* types,
                                        std::uint8_t* lengths, std::uint8_t* serials) {
    const auto junk = static_cast<std::uint8_t>(++gUsbListings);
    *count = 2;
    types[0] = 2;
    lengths[0] = 4;
    lengths[1] = 7;
    for (int i = 0; i < 40; ++i) {
        serials[i] = junk;
    }
    for (int i = 0; i < 4; ++i) {
        serials[i] = 0x5A;
    }
    for (int i = 10; i < 17; ++i) {
        serials[i] = 0xA5;
    }
    return 0;
}

TEST(MonitorTagTypes, UsbBytesBeyondEachSerialLengthAreIgnored) {
    vreader::ScopedVirtualField field;
    ProbeConnection connection;
    RecordingPoster poster;
    connection.Open(u"USB1");
    connection.UsbLibrary().ACR120_ListTags = &UsbListingWithChangingJunk;
    connection.Monitor().SetPollInterval(10ms);
    ASSERT_TRUE(connection.StartMonitor(&poster, kMonitorMessage));
    ASSERT_TRUE(poster.WaitFor(1));
    const int seen = gUsbListings;
    ASSERT_TRUE(Eventually([&] { return gUsbListings > seen + 5; }));
    connection.Disconnect();
    EXPECT_EQ(poster.WParams(), WParams{k1K});
}

}  // namespace
