// The window's thread selecting and releasing a card while the monitor polls
// as fast as it can: run under ThreadSanitizer, this proves that every field
// both threads touch is guarded by the reader lock or by the thread start/stop.

#include "connection_support.h"

namespace {

class SelectionWhileMonitoring : public testing::TestWithParam<Variant> {};

TEST_P(SelectionWhileMonitoring, ThousandsOfSelectionsRaceTheMonitorSafely) {
    vreader::ScopedVirtualField field;
    field.NewCard(GetParam().reader, vreader::CardKind::kClassic1K);
    ProbeConnection connection;
    RecordingPoster poster;
    connection.Open(GetParam().name);
    connection.Monitor().SetPollInterval(0ms);
    ASSERT_TRUE(connection.StartMonitor(&poster, kMonitorMessage));

    constexpr int kIterations = 2000;
    for (int i = 0; i < kIterations; ++i) {
        connection.ConnectCard();
        ASSERT_TRUE(connection.IsCardConnected());
        ASSERT_EQ(connection.CardType(), kCardTypeMifare1K);
        connection.DisconnectCard();
        if (i % 500 == 0) {
            // Keeps the virtual reader's call log from growing without end.
            field.ClearCallLog(GetParam().reader);
        }
    }
    const int listings = field.CountCalls(GetParam().reader, GetParam().listing);
    connection.Disconnect();
    EXPECT_TRUE(connection.ReaderLockIsFree());
    EXPECT_GT(listings, 0);
    // The card never moved: one message, however the two threads interleaved.
    EXPECT_EQ(poster.WParams(), std::vector<std::uintptr_t>{0x10001});
}

INSTANTIATE_TEST_SUITE_P(BothLibraries, SelectionWhileMonitoring, testing::Values(kSerial, kUsb),
                         PrintVariant);

}  // namespace
