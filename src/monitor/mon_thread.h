#pragma once
// The card presence monitor: while a reader is connected it lists the tags in
// the field every poll interval, under the reader lock, and posts the monitor
// message when a card comes, goes or is replaced. It keeps off the reader while
// the window holds a card, and it never reports an error: a listing that fails
// is "no news".

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>

#include "monitor/field_snapshot.h"
#include "monitor/my_thread2.h"
#include "reader/presence_monitor.h"

class CACR120Base;
class IMessagePoster;

class CMonThread : public CMyThread2, public IPresenceMonitor {
public:
    static constexpr std::chrono::milliseconds kPollInterval{500};

    // wParam of the monitor message.
    static constexpr std::uintptr_t kCardGone = CFieldSnapshot::kCardGone;
    static constexpr std::uintptr_t CardPresent(std::uint16_t cardType) {
        return CFieldSnapshot::CardPresent(cardType);
    }

    explicit CMonThread(CACR120Base& reader) : reader_(reader) {}
    // The connection's monitor factory.
    static std::unique_ptr<IPresenceMonitor> Create(CACR120Base& reader);

    void SetTarget(IMessagePoster* window, std::uint32_t message) override {
        window_ = window;
        message_ = message;
    }
    using CMyThread2::Start;
    bool Start() override { return CMyThread2::Start(0, 0); }
    void Stop(std::uint32_t timeoutMs) override;
    bool Abandoned() const override { return CMyThread2::Abandoned(); }
    bool EndedByForce() const override { return CMyThread2::EndedByForce(); }
    // Tests that need many polls shorten the interval; called while no thread runs.
    void SetPollInterval(std::chrono::milliseconds interval) { pollInterval_ = interval; }

    std::uint32_t Run() override;

private:
    // One poll under the reader lock, unless the window holds a card.
    void PollUnderLock(CFieldSnapshot& snapshot);
    // One listing and comparison; updates `snapshot` only when the listing worked.
    void Poll(CFieldSnapshot& snapshot);
    void Post(std::uintptr_t wParam);

    CACR120Base& reader_;
    // Atomic so that a thread left running can be cut off from a window that
    // will go away before it does.
    std::atomic<IMessagePoster*> window_{nullptr};
    std::uint32_t message_ = 0;
    std::chrono::milliseconds pollInterval_ = kPollInterval;
};
