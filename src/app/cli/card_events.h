#pragma once
// What the presence monitor says about the reader's field, turned into waits
// the command line can block on: the monitor posts its message here, from its
// own thread, and a Ctrl+C ends any wait.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>

#include "monitor/message_poster.h"

namespace notice_cli {

enum class WaitOutcome { Event, TimedOut, Interrupted };

class CardEvents final : public IMessagePoster {
public:
    using Clock = std::chrono::steady_clock;

    void Post(std::uint32_t message, std::uintptr_t wParam) override;
    // From the interrupt watch's thread.
    void Interrupt();
    bool Interrupted() const;

    // Until the monitor reports a card in the field, or `deadline` passes.
    WaitOutcome WaitForCard(std::optional<Clock::time_point> deadline);
    // Until the monitor reports the field empty (a card replaced by another
    // counts as gone: its message is a "gone" followed by a "present").
    WaitOutcome WaitForCardGone();

private:
    WaitOutcome WaitFor(bool present, std::optional<Clock::time_point> deadline);

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::uintptr_t> messages_;
    bool interrupted_ = false;
};

}  // namespace notice_cli
