#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>

#include "monitor/my_thread2.h"
#include "platform/last_error.h"
#include "platform/reader_mutex.h"

namespace {

using namespace std::chrono_literals;

// A body given as a function of the thread object, so each test states what its
// thread does.
class TestThread : public CMyThread2 {
public:
    explicit TestThread(std::function<std::uint32_t(TestThread&)> body) : body_(std::move(body)) {}
    ~TestThread() override { Stop(5000); }

    std::uint32_t Run() override { return body_(*this); }
    using CMyThread2::WaitForStop;

private:
    std::function<std::uint32_t(TestThread&)> body_;
};

// Polls like the presence monitor: work, then wait on the stop event.
std::uint32_t PollUntilStopped(TestThread& self, std::atomic<int>& rounds) {
    while (true) {
        ++rounds;
        if (self.WaitForStop(5) != platform::WaitResult::TimedOut) {
            return 7;
        }
    }
}

template <typename Predicate>
bool Eventually(Predicate predicate) {
    for (int i = 0; i < 400; ++i) {
        if (predicate()) {
            return true;
        }
        std::this_thread::sleep_for(5ms);
    }
    return predicate();
}

TEST(ThreadBase, StopOnAThreadNeverStartedReturnsAtOnce) {
    TestThread thread([](TestThread&) { return 0u; });
    const auto start = std::chrono::steady_clock::now();
    thread.Stop(60000);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1000ms);
    EXPECT_FALSE(thread.IsRunning());
}

TEST(ThreadBase, StartRunsTheBodyAndStopEndsItThroughTheEvent) {
    std::atomic<int> rounds{0};
    TestThread thread([&](TestThread& self) { return PollUntilStopped(self, rounds); });
    platform::SetLastErrorValue(1234);
    ASSERT_TRUE(thread.Start(0, 0));
    EXPECT_EQ(platform::GetLastErrorValue(), 0u);
    ASSERT_TRUE(Eventually([&] { return rounds > 2; }));
    thread.Stop(60000);
    EXPECT_FALSE(thread.IsRunning());
    EXPECT_EQ(thread.LastExitCode(), 7u);
}

TEST(ThreadBase, SecondStartFailsWith1056AndLeavesTheFirstThreadRunning) {
    std::atomic<int> rounds{0};
    TestThread thread([&](TestThread& self) { return PollUntilStopped(self, rounds); });
    ASSERT_TRUE(thread.Start(0, 0));
    EXPECT_FALSE(thread.Start(0, 0));
    EXPECT_EQ(platform::GetLastErrorValue(), platform::kErrorServiceAlreadyRunning);
    EXPECT_TRUE(thread.IsRunning());
    const int seen = rounds;
    EXPECT_TRUE(Eventually([&] { return rounds > seen + 2; })) << "first thread stopped polling";
    thread.Stop(60000);
    EXPECT_EQ(thread.LastExitCode(), 7u) << "the first thread must end normally, not be replaced";
}

TEST(ThreadBase, StopWithZeroTimeOutEndsABodyThatIgnoresTheEvent) {
    std::atomic<bool> entered{false};
    TestThread thread([&](TestThread& self) {
        entered = true;
        // Deaf to the stop event: waits on it, but never returns.
        while (true) {
            self.WaitForStop(platform::kInfinite);
        }
        return 0u;
    });
    ASSERT_TRUE(thread.Start(0, 0));
    ASSERT_TRUE(Eventually([&] { return entered.load(); }));
    thread.Stop(0);
    EXPECT_FALSE(thread.IsRunning());
    EXPECT_EQ(thread.LastExitCode(), 0xFFFFFFFFu);
}

TEST(ThreadBase, RestartGetsAFreshUnsignalledStopEvent) {
    std::atomic<int> timeoutsBeforeStop{0};
    TestThread thread([&](TestThread& self) {
        // A stale signalled event would end this at once, before any time-out.
        while (self.WaitForStop(10) == platform::WaitResult::TimedOut) {
            ++timeoutsBeforeStop;
        }
        return 1u;
    });
    ASSERT_TRUE(thread.Start(0, 0));
    ASSERT_TRUE(Eventually([&] { return timeoutsBeforeStop > 0; }));
    thread.Stop(60000);
    timeoutsBeforeStop = 0;
    ASSERT_TRUE(thread.Start(0, 0));
    ASSERT_TRUE(Eventually([&] { return timeoutsBeforeStop > 2; }));
    thread.Stop(60000);
    EXPECT_EQ(thread.LastExitCode(), 1u);
}

TEST(ThreadBase, ForcedEndReleasesALockTheBodyHeld) {
    // The reader connection's own lock type: on Windows a forced end does not
    // unwind, and only a lock that outlives its owner is free again.
    platform::ReaderMutex readerLock;
    std::atomic<bool> holding{false};
    auto never = platform::ManualResetEvent::Create();
    TestThread thread([&](TestThread&) {
        std::lock_guard<platform::ReaderMutex> hold(readerLock);
        holding = true;
        // A reader call that hangs while the lock is held.
        never->Wait(platform::kInfinite);
        return 0u;
    });
    ASSERT_TRUE(thread.Start(0, 0));
    ASSERT_TRUE(Eventually([&] { return holding.load(); }));
    thread.Stop(50);
    EXPECT_FALSE(thread.IsRunning());
    ASSERT_TRUE(readerLock.try_lock()) << "a thread ended by force left the reader lock held";
    readerLock.unlock();
}

TEST(ThreadBase, CreationFlagsWithoutPosixMeaningAreRefused) {
    TestThread thread([](TestThread&) { return 0u; });
    EXPECT_FALSE(thread.Start(0, 4 /* suspended */));
    EXPECT_EQ(platform::GetLastErrorValue(), platform::kErrorInvalidParameter);
    EXPECT_FALSE(thread.IsRunning());
    EXPECT_TRUE(thread.Start(0, 0));
}

}  // namespace
