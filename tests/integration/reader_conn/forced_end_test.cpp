// A monitor whose listing never returns is ended by force, and the unwinding
// of its thread releases the reader lock.

#include "connection_support.h"

namespace {

constexpr std::uintptr_t k1K = 0x10001;
using WParams = std::vector<std::uintptr_t>;

class ForcedEnd : public testing::TestWithParam<Variant> {
protected:
    void SetUp() override { connection_.Open(GetParam().name); }
    const char* Reader() const { return GetParam().reader; }
    void Start() { ASSERT_TRUE(connection_.StartMonitor(&poster_, kMonitorMessage)); }

    vreader::ScopedVirtualField field_;
    ProbeConnection connection_;
    RecordingPoster poster_;
};

TEST_P(ForcedEnd, HungListingIsEndedAfterTheTimeOutAndFreesTheReaderLock) {
    if (kSanitizerLosesCancelledThreads) {
        GTEST_SKIP() << "the sanitizer cannot follow a thread cancelled in a blocking call";
    }
    field_.NewCard(Reader(), vreader::CardKind::kClassic1K);
    field_.Block(Reader(), GetParam().listing);
    Start();
    ASSERT_TRUE(field_.WaitUntilBlocked(Reader(), GetParam().listing, 3000ms));
    EXPECT_FALSE(connection_.ReaderLockIsFree());

    connection_.SetMonitorStopTimeout(300);
    const auto start = std::chrono::steady_clock::now();
    connection_.Disconnect();
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, 300ms);
    EXPECT_LT(took, 2000ms);
    EXPECT_EQ(connection_.Monitor().LastExitCode(), 0xFFFFFFFFu);
    EXPECT_TRUE(connection_.ReaderLockIsFree());
    EXPECT_FALSE(connection_.IsConnected());

    // The connection is usable again once the reader answers.
    field_.Release(Reader(), GetParam().listing);
    connection_.Connect();
    connection_.ConnectCard();
    EXPECT_EQ(connection_.CardType(), kCardTypeMifare1K);
    connection_.DisconnectCard();
    EXPECT_TRUE(connection_.StartMonitor(&poster_, kMonitorMessage));
    ASSERT_TRUE(poster_.WaitFor(1));
    EXPECT_EQ(poster_.WParams(), WParams{k1K});
}

INSTANTIATE_TEST_SUITE_P(BothLibraries, ForcedEnd, testing::Values(kSerial, kUsb), PrintVariant);

}  // namespace
