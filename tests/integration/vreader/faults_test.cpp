// Faults, latency and the call log, set through the control library and seen through
// the loaded libraries.

#include <pthread.h>

#include <chrono>
#include <thread>

#include "fixture.h"

namespace vreader_test {
namespace {

using namespace std::chrono_literals;

class VReaderFaults : public VReader {
protected:
    void SetUp() override {
        field.NewCard(reader, vreader::CardKind::kClassic1K, kUid2, "other.mfd");
        OpenReader();
    }
    std::string ListName() const { return GetParam() ? "ListTags" : "ListTag"; }
};

TEST_P(VReaderFaults, FailsTheNthCallOfAFunctionAsOftenAsAsked) {
    field.FailCall(reader, "ACR120_" + ListName(), 2, rc::kOperationFailed);
    Listing listing;
    EXPECT_EQ(lib.List(h, listing), rc::kOk);
    EXPECT_EQ(lib.List(h, listing), rc::kOperationFailed);
    EXPECT_EQ(lib.List(h, listing), rc::kOk);
    EXPECT_TRUE(field.FaultLines(reader).empty()) << "a spent fault goes away";

    field.FailCall(reader, "Login", 1, rc::kUnknownReaderError, 0);  // every time
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(lib.SelectUid(h, kUid2), rc::kOk);
        EXPECT_EQ(lib.Login(h, 0, false, kFF), rc::kUnknownReaderError);
    }
    field.ClearFaults(reader);
    EXPECT_EQ(lib.Login(h, 0, false, kFF), rc::kOk) << "a failed call did not touch the card";

    field.FailCall(reader, "Read", 1, rc::kNotAuthorized, 2);
    Bytes data(16);
    EXPECT_EQ(lib.Read(h, 1, data.data()), rc::kNotAuthorized);
    EXPECT_EQ(lib.Read(h, 1, data.data()), rc::kNotAuthorized);
    EXPECT_EQ(lib.Read(h, 1, data.data()), rc::kOk);

    lib.Close(h);
    field.FailCall(reader, "Open", 1, rc::kPortOccupied);
    EXPECT_EQ(lib.Open(0), rc::kPortOccupied);
    OpenReader();
}

TEST_P(VReaderFaults, TakesTheCardAwayAfterTheNthCall) {
    CardWith({0, 0, 0, 1});
    field.RemoveCardAfter(reader, "Write", 2);
    ASSERT_EQ(lib.Login(h, 1, false, kKeyA), rc::kOk);
    EXPECT_EQ(lib.Write(h, 4, Block(1)), rc::kOk);
    EXPECT_EQ(lib.Write(h, 5, Block(2)), rc::kOk) << "the call itself still works";
    EXPECT_EQ(lib.Write(h, 6, Block(3)), rc::kNoCard);
    EXPECT_EQ(field.Field(reader).size(), 1u) << "only the other card is left";
    const auto away = field.OffFieldCards();
    ASSERT_EQ(away.size(), 1u);
    const Bytes kept = field.ReadCard(away[0].name);
    EXPECT_EQ((Bytes{kept[4 * 16], kept[5 * 16], kept[6 * 16]}), (Bytes{1, 2, 0}));
}

TEST_P(VReaderFaults, BlockedCallWaitsUntilReleased) {
    field.Block(reader, ListName());
    std::atomic<int> result{1};
    std::thread caller([&] {
        Listing listing;
        result = lib.List(h, listing);
    });
    ASSERT_TRUE(field.WaitUntilBlocked(reader, ListName(), 5s));
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(result, 1) << "still waiting";
    std::uint8_t value = 0;
    EXPECT_EQ(lib.ReadEeprom(h, 5, &value), rc::kOk) << "other functions go on";
    field.Release(reader, ListName());
    caller.join();
    EXPECT_EQ(result, rc::kOk);
}

#ifndef _WIN32
TEST_P(VReaderFaults, ABlockedCallEndsOnThreadCancellationAndHoldsNothing) {
    field.Block(reader, ListName());
    using Self = std::remove_pointer_t<decltype(this)>;
    pthread_t thread;
    auto call = [](void* self) -> void* {
        auto* test = static_cast<Self*>(self);
        Listing listing;
        test->lib.List(test->h, listing);
        return nullptr;
    };
    ASSERT_EQ(pthread_create(&thread, nullptr, call, this), 0);
    ASSERT_TRUE(field.WaitUntilBlocked(reader, ListName(), 5s));
    ASSERT_EQ(pthread_cancel(thread), 0);
    void* status = nullptr;
    ASSERT_EQ(pthread_join(thread, &status), 0);
    EXPECT_EQ(status, PTHREAD_CANCELED);
    field.Release(reader, ListName());
    Listing listing;
    EXPECT_EQ(lib.List(h, listing), rc::kOk) << "the cancelled call left no lock behind";
    EXPECT_EQ(lib.Close(h), rc::kOk);
    h = lib.Open(0);
    EXPECT_GE(h, 0);
}
#endif

TEST_P(VReaderFaults, ReportsMoreTagsThanTheListsHoldWithoutWritingPastThem) {
    for (std::uint8_t i = 1; i < 6; ++i) {
        field.NewCard(reader, vreader::CardKind::kClassic1K, Bytes{0x10, 0x20, 0x30, i},
                      "c" + std::to_string(i) + ".mfd");
    }
    // Room as callers give it, then canaries.
    const std::size_t room = GetParam() ? 4 : 16;
    std::uint8_t count = 0;
    std::uint32_t flag = 0;
    std::vector<std::uint8_t> types(16 + 8, 0xCC), lengths(4 + 8, 0xCC),
        serials(room * 10 + 80, 0xCC);
    auto list = [&] {
        return GetParam() ? lib.Fn<U::ListTags>("ACR120_ListTags")(h, &count, types.data(),
                                                                   lengths.data(), serials.data())
                          : lib.Fn<S::ListTag>("ACR120_ListTag")(h, 1, &count, &flag, types.data(),
                                                                 serials.data());
    };
    ASSERT_EQ(list(), rc::kOk);
    EXPECT_EQ(count, GetParam() ? 4 : 6) << "six cards; a USB listing has room for four";
    field.ReportTagCount(reader, 40);
    ASSERT_EQ(list(), rc::kOk);
    EXPECT_EQ(count, 40);
    EXPECT_EQ(types[GetParam() ? 3 : 5], acr120::kTagMifare1K)
        << "the real cards, as far as room goes";
    auto untouched = [](const std::vector<std::uint8_t>& v, std::size_t from) {
        return std::all_of(v.begin() + from, v.end(), [](std::uint8_t b) { return b == 0xCC; });
    };
    EXPECT_TRUE(untouched(types, 16));
    EXPECT_TRUE(untouched(serials, room * 10));
    EXPECT_TRUE(untouched(lengths, 4));
}

TEST_P(VReaderFaults, LatencySlowsEveryCall) {
    field.SetLatency(reader, 40ms);
    std::uint8_t value = 0;
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(lib.ReadEeprom(h, 5, &value), rc::kOk);
    ASSERT_EQ(lib.ReadEeprom(h, 5, &value), rc::kOk);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 80ms);
    field.SetLatency(reader, 0ms);
    EXPECT_TRUE(field.FaultLines(reader).empty());
}

TEST_P(VReaderFaults, CallLogRecordsFunctionsArgumentsAndResults) {
    field.ClearCallLog(reader);
    Listing listing;
    lib.List(h, listing);
    lib.List(h, listing);
    lib.SelectUid(h, kUid2);
    lib.Login(h, 1, false, kKeyA);
    const auto calls = field.CallLog(reader);
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_EQ(calls[0].function, ListName());
    EXPECT_EQ(calls[2].function, "MultiTagSelect");
    EXPECT_NE(calls[2].arguments.find("55667788"), std::string::npos);
    EXPECT_EQ(calls[3].result, rc::kLoginFailed);
    EXPECT_NE(calls[3].arguments.find("sector=1"), std::string::npos);
    EXPECT_EQ(calls[3].arguments.find("A0A1A2"), std::string::npos) << "keys stay out of the log";
    EXPECT_EQ(field.CountCalls(reader, "ACR120_" + ListName()), 2);
    field.ClearCallLog(reader);
    EXPECT_EQ(field.CountCalls(reader, "*"), 0);
}

INSTANTIATE_TEST_SUITE_P(BothVariants, VReaderFaults, ::testing::Bool(), VariantName);

}  // namespace
}  // namespace vreader_test
