#pragma once
// One PC/SC reader opened through the library: its own service context, the card
// connection it keeps between calls, and the reader key slots that the ACR120 API
// lets a program fill. Every operation answers a reader return code; a service
// that stops or a reader that goes away drops the context, and the next call
// tries afresh, so the reader works again when it comes back under its name.
//
// The card is held: from the first call on the card after a listing (selection,
// login, read, write) until the next listing or Close, the connection keeps a
// PC/SC transaction open, so no other program's command comes between ours (its
// key in the reader's key location between our key load and our authentication,
// its writes among those of our Save). A listing lets the card go, so a program
// that only watches the field holds nothing. Within one hold the reader knows
// what it did itself: the UID read under the hold and the key it loaded last
// stand until the hold ends or any call fails, and are not asked again.
//
// A MIFARE Classic card that refuses a command (a key that does not open the
// sector) halts: it answers nothing more until the reader selects it again. The
// reader therefore wakes the card before its next command, by a reset of the
// connection (the reader drops its field and polls again), and checks that the
// card that answers is the one that halted; the transaction stays open across
// the reset, so the hold goes on. A card left halted is woken in the same way
// before the hold ends, so that the next program finds a card that answers.

#include <array>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "pcsc/pcsc_api.h"
#include "pcsc/storage_card.h"

namespace pcsc {

// The names of the readers the service has now, in its order; empty without a
// service or without readers.
std::vector<std::string> ListReaderNames(const Api& api, SCARDCONTEXT context);

// The reader return code a PC/SC result means.
std::int16_t CodeOfPcscResult(LONG result);

class Reader {
public:
    inline static constexpr int kKeySlots = 32;

    Reader(const Api& api, std::string name) : api_(api), name_(std::move(name)) {}
    ~Reader();
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;

    const std::string& Name() const { return name_; }
    std::mutex& Mutex() { return mutex_; }

    // The card in the field as the USB listing reports it: none (count 0) also
    // when the service or the reader is gone, so that a poller keeps running.
    std::int16_t ListTags(std::uint8_t* count, std::uint8_t* tagTypes, std::uint8_t* lengths,
                          std::uint8_t* serials);
    std::int16_t Select(std::uint8_t length, const std::uint8_t* serial, std::uint8_t* tagTypeOut,
                        std::uint8_t* lengthOut, std::uint8_t* serialOut);
    std::int16_t StoreKey(std::uint8_t slot, const std::uint8_t* key);
    std::int16_t Login(std::uint8_t sector, std::uint8_t keyMode, std::int32_t keySlot,
                       const std::uint8_t* key);
    std::int16_t Read(std::uint8_t block, std::uint8_t* data);
    std::int16_t Write(std::uint8_t block, const std::uint8_t* data);

    // Lets the card go; what the hold proved is forgotten.
    void Release();

private:
    using Key = std::array<std::uint8_t, kMifareKeySize>;
    struct Card {
        std::uint8_t tagType = 0;
        Bytes uid;
    };

    std::int16_t EnsureCard();
    // The connection's state and the card's ATR: fails when the card has left the
    // field or was reset since the connection was made.
    std::int16_t ReadStatus();
    // Begins the hold unless it runs already, and wakes a halted card.
    std::int16_t EnsureHeld();
    // Resets a halted card and checks that the card that answers is the same.
    std::int16_t Wake();
    // Resets the card under our connection; the service's answer.
    LONG ResetCard();
    // The card's UID and type, reconnecting once when the card was replaced;
    // `held`: under the hold, and from what it proved when it has.
    std::int16_t IdentifyCard(Card& card, bool held);
    std::int16_t ReadUid(Bytes& uid);
    std::int16_t Transmit(Command command, const Bytes& apdu, Bytes& response);
    std::int16_t Fail(LONG result);
    // What the hold proved no longer stands: after any failure.
    void Forget();
    void DropCard();
    void DropContext();

    const Api& api_;
    const std::string name_;
    std::mutex mutex_;  // one caller at a time; the table locks it around each call
    SCARDCONTEXT context_{};
    bool hasContext_ = false;
    SCARDHANDLE card_{};
    bool hasCard_ = false;
    DWORD protocol_ = 0;
    // A fixed buffer: running out of memory cannot leave a connection without its ATR.
    std::array<BYTE, kMaxAtrSize> atr_{};
    std::size_t atrSize_ = 0;
    bool held_ = false;               // a transaction of ours is open on card_
    std::optional<Bytes> heldUid_;    // read under the hold
    std::optional<Key> loadedKey_;    // in the reader's key location, loaded under the hold
    bool halted_ = false;             // the card refused a command and awaits a reset
    std::optional<Bytes> haltedUid_;  // the UID the halted card had, when known
    std::array<Key, kKeySlots> keys_ = [] {
        std::array<Key, kKeySlots> keys{};
        for (auto& key : keys) {
            key.fill(0xFF);
        }
        return keys;
    }();
};

}  // namespace pcsc
