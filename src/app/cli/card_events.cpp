#include "app/cli/card_events.h"

namespace notice_cli {

void CardEvents::Post(std::uint32_t message, std::uintptr_t wParam) {
    if (message != kMonitorMessage) {
        return;
    }
    {
        std::lock_guard<std::mutex> hold(mutex_);
        messages_.push_back(wParam);
    }
    changed_.notify_all();
}

void CardEvents::Interrupt() {
    {
        std::lock_guard<std::mutex> hold(mutex_);
        interrupted_ = true;
    }
    changed_.notify_all();
}

bool CardEvents::Interrupted() const {
    std::lock_guard<std::mutex> hold(mutex_);
    return interrupted_;
}

WaitOutcome CardEvents::WaitForCard(std::optional<Clock::time_point> deadline) {
    return WaitFor(true, deadline);
}

WaitOutcome CardEvents::WaitForCardGone() {
    return WaitFor(false, std::nullopt);
}

WaitOutcome CardEvents::WaitFor(bool present, std::optional<Clock::time_point> deadline) {
    std::unique_lock<std::mutex> hold(mutex_);
    for (;;) {
        if (interrupted_) {
            return WaitOutcome::Interrupted;
        }
        // In order: a card taken away and another put down while the program
        // was busy must still count as gone. A card reported and then gone again
        // is not waited for as if it were still there.
        while (!messages_.empty()) {
            const bool cardThere = (messages_.front() & 0xFF) != 0;
            messages_.pop_front();
            const bool goneSince = !messages_.empty() && (messages_.front() & 0xFF) == 0;
            if (cardThere == present && !(present && goneSince)) {
                return WaitOutcome::Event;
            }
        }
        if (!deadline) {
            changed_.wait(hold);
        } else if (changed_.wait_until(hold, *deadline) == std::cv_status::timeout &&
                   messages_.empty() && !interrupted_) {
            return WaitOutcome::TimedOut;
        }
    }
}

}  // namespace notice_cli
