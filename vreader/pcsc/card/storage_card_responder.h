#pragma once
// A MIFARE Classic card of the virtual reader's model in the field of a PC/SC
// contactless reader: answers the storage-card command APDUs as such a reader
// does, with the card's own access rules. Like a real card it halts when it
// refuses an authentication: until the reader resets or powers it, every
// authentication, read and write fails (63 00); the UID and the reader's key
// location, which the reader answers itself, stay available.

#include <cstdint>
#include <map>
#include <optional>
#include <span>

#include "core/mifare.h"
#include "lib/card_access.h"
#include "lib/reader_session.h"

namespace vpcd {

using Bytes = vreader::card_model::Bytes;

class StorageCardResponder {
public:
    // `image`: a 1K or 4K card image.
    explicit StorageCardResponder(Bytes image);

    // The ATR a PC/SC reader makes up for the card.
    Bytes Atr() const;
    // The response APDU (data and status word) to a command APDU.
    Bytes Respond(std::span<const std::uint8_t> command);
    // The card was powered off or reset: it forgets its login and wakes.
    void Reset();
    bool Halted() const { return halted_; }

    const Bytes& Image() const { return image_; }
    // Update Binary commands carried out so far.
    int Writes() const { return writes_; }
    // Command APDUs answered so far, by instruction byte.
    const std::map<std::uint8_t, int>& Commands() const { return commands_; }

private:
    Bytes Authenticate(std::span<const std::uint8_t> data);
    Bytes ReadBinary(int block);
    Bytes UpdateBinary(int block, std::span<const std::uint8_t> data);

    Bytes image_;
    std::optional<vreader::lib::KeyBytes> volatileKey_;
    vreader::lib::ReaderSession session_;  // the login
    bool halted_ = false;
    int writes_ = 0;
    std::map<std::uint8_t, int> commands_;
};

}  // namespace vpcd
