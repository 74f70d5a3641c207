#pragma once
// The card program for the vsmartcard vpcd reader driver: connects to the
// driver's socket on 127.0.0.1 and answers for one card while it lies in the
// field. vpcd frames every message with a 2-byte big-endian length; a 1-byte
// message is a control (0 power off, 1 power on, 2 reset, 4 "send the ATR"), a
// longer one a command APDU that gets its response APDU.

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

#include "pcsc/card/storage_card_responder.h"

namespace vpcd {

inline constexpr std::uint16_t kDefaultPort = 35963;

class VpcdCard {
public:
    explicit VpcdCard(std::uint16_t port = kDefaultPort);
    ~VpcdCard();
    VpcdCard(const VpcdCard&) = delete;
    VpcdCard& operator=(const VpcdCard&) = delete;

    // Lays the card in the field; the driver sees it once it has connected.
    // While it lies there, a lost connection (a driver restarted) is made again.
    void Place(const Bytes& image);
    // Takes the card away; it is gone for the driver when this returns.
    void TakeAway();
    // Takes the card away right after answering the nth Update Binary from now.
    void TakeAwayAfterWrites(int writes);
    // Leaves the field at the nth command APDU from now: the card carries it out
    // (a write is on the card) and is gone before it answers, as a card pulled
    // away mid-frame. Place(Image()) puts it back.
    void LeaveAtCommand(int commands);
    // Waits until the card has left the field (after TakeAway* or LeaveAtCommand).
    void WaitUntilGone();
    // Runs `action` on the card's thread when the nth Update Binary from now has
    // been carried out, before its answer goes back: the reader's call is in
    // flight meanwhile.
    void BeforeAnswerToWrite(int writes, std::function<void()> action);

    // The card as it is now, also after it was taken away; empty before Place.
    Bytes Image() const;
    bool InField() const;
    // Command APDUs the card has answered since Place, by instruction byte.
    std::map<std::uint8_t, int> Commands() const;
    // Command APDUs received since Place, whatever they were.
    int CommandCount() const;

private:
    void Serve();
    // Answers one message; false when the card leaves with this answer.
    bool Answer(int socket, const Bytes& message);
    bool ShouldServe() const;  // under mutex_

    const std::uint16_t port_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::optional<StorageCardResponder> card_;
    bool placed_ = false;
    bool connected_ = false;
    bool stopping_ = false;
    std::optional<int> takeAwayAtWrites_;
    int commandCount_ = 0;
    std::optional<int> leaveAtCommand_;
    std::optional<std::pair<int, std::function<void()>>> beforeAnswer_;
    std::thread server_;
};

}  // namespace vpcd
