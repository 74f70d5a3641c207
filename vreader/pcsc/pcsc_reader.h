#pragma once
// One PC/SC reader opened through the library: its own service context, the card
// connection it keeps between calls, and the reader key slots that the ACR120 API
// lets a program fill. Every operation answers a reader return code; a service
// that stops or a reader that goes away drops the context, and the next call
// tries afresh, so the reader works again when it comes back under its name.

#include <array>
#include <cstdint>
#include <mutex>
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

private:
    struct Card {
        std::uint8_t tagType = 0;
        Bytes uid;
    };

    std::int16_t EnsureCard();
    // The card's UID and type, reconnecting once when the card was replaced.
    std::int16_t IdentifyCard(Card& card);
    std::int16_t Transmit(Command command, const Bytes& apdu, Bytes& response);
    std::int16_t Fail(LONG result);
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
    Bytes atr_;
    std::array<std::array<std::uint8_t, kMifareKeySize>, kKeySlots> keys_ = [] {
        std::array<std::array<std::uint8_t, kMifareKeySize>, kKeySlots> keys{};
        for (auto& key : keys) {
            key.fill(0xFF);
        }
        return keys;
    }();
};

}  // namespace pcsc
