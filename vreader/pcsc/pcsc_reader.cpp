#include "pcsc/pcsc_reader.h"

#include <algorithm>
#include <cstring>
#include <span>
#include <utility>

#include "reader/acr120_api.h"

namespace pcsc {

namespace rc = acr120::rc;
namespace key_mode = acr120::usb_key_mode;

namespace {

// The ACR120 names a sector of the 4K card's upper part by its first block / 4.
bool IsLoginSector(std::uint8_t sector) {
    return sector < 32 || (sector <= 60 && (sector - 32) % 4 == 0);
}

}  // namespace

std::vector<std::string> ListReaderNames(const Api& api, SCARDCONTEXT context) {
    for (int attempt = 0; attempt < 3; ++attempt) {
        DWORD size = 0;
        if (api.listReaders(context, nullptr, nullptr, &size) != SCARD_S_SUCCESS || size == 0) {
            return {};
        }
        std::vector<char> text(size);
        const LONG result = api.listReaders(context, nullptr, text.data(), &size);
        if (result == SCARD_E_INSUFFICIENT_BUFFER) {
            continue;  // a reader came between the two calls
        }
        if (result != SCARD_S_SUCCESS) {
            return {};
        }
        // Names one after the other, each ended by a zero, the list by another.
        std::vector<std::string> names;
        for (const char* at = text.data(); at < text.data() + text.size() && *at != '\0';
             at += std::strlen(at) + 1) {
            names.emplace_back(at);
        }
        return names;
    }
    return {};
}

std::int16_t CodeOfPcscResult(LONG result) {
    switch (result) {
        case SCARD_S_SUCCESS:
            return rc::kOk;
        case SCARD_E_NO_SMARTCARD:
        case SCARD_W_REMOVED_CARD:
        case SCARD_W_RESET_CARD:
        case SCARD_W_UNPOWERED_CARD:
        case SCARD_W_UNRESPONSIVE_CARD:
        case SCARD_W_UNSUPPORTED_CARD:
        case SCARD_E_NOT_TRANSACTED:
            // A contactless card that stops answering has left the field.
            return rc::kNoCard;
        case SCARD_E_NO_SERVICE:
        case SCARD_E_SERVICE_STOPPED:
        case SCARD_F_COMM_ERROR:          // the daemon went away during the call
        case SCARD_W_SECURITY_VIOLATION:  // pcscd's answer while it shuts down
        case SCARD_E_NO_READERS_AVAILABLE:
        case SCARD_E_READER_UNAVAILABLE:
        case SCARD_E_UNKNOWN_READER:
        case SCARD_E_INVALID_HANDLE:
            return rc::kInvalidPort;
        case SCARD_E_SHARING_VIOLATION:
            return rc::kPortOccupied;
        case SCARD_E_TIMEOUT:
        case SCARD_E_PROTO_MISMATCH:
            return rc::kOperationFailed;
        case SCARD_E_NO_MEMORY:
            return rc::kInternalError;
        default:
            return rc::kUnknownReaderError;
    }
}

Reader::~Reader() {
    DropContext();
}

void Reader::Forget() {
    heldUid_.reset();
    loadedKey_.reset();
}

LONG Reader::ResetCard() {
    return api_.reconnect(card_, SCARD_SHARE_SHARED, SCARD_PROTOCOL_T0 | SCARD_PROTOCOL_T1,
                          SCARD_RESET_CARD, &protocol_);
}

void Reader::Release() {
    if (held_ && hasCard_) {
        if (halted_) {
            // Whoever comes next, we or another program, finds a card that answers.
            ResetCard();
        }
        // A failure here means the card went or was reset: the hold is over anyway.
        api_.endTransaction(card_, SCARD_LEAVE_CARD);
    }
    held_ = false;
    halted_ = false;
    haltedUid_.reset();
    Forget();
}

void Reader::DropCard() {
    Release();
    if (hasCard_) {
        api_.disconnect(card_, SCARD_LEAVE_CARD);
        hasCard_ = false;
    }
    atrSize_ = 0;
}

void Reader::DropContext() {
    DropCard();
    if (hasContext_) {
        api_.releaseContext(context_);
        hasContext_ = false;
    }
}

std::int16_t Reader::Fail(LONG result) {
    const std::int16_t code = CodeOfPcscResult(result);
    if (code == rc::kInvalidPort) {
        DropContext();
    } else if (code == rc::kNoCard) {
        DropCard();
    } else {
        Forget();
    }
    return code;
}

std::int16_t Reader::EnsureCard() {
    if (hasCard_) {
        return rc::kOk;
    }
    if (!hasContext_) {
        const LONG result = api_.establishContext(SCARD_SCOPE_SYSTEM, nullptr, nullptr, &context_);
        if (result != SCARD_S_SUCCESS) {
            return rc::kInvalidPort;  // no service: no reader behind this port
        }
        hasContext_ = true;
    }
    // Shared: other programs keep their own connections, and the hold keeps them
    // off only while we work with the card.
    LONG result = api_.connect(context_, name_.c_str(), SCARD_SHARE_SHARED,
                               SCARD_PROTOCOL_T0 | SCARD_PROTOCOL_T1, &card_, &protocol_);
    if (result != SCARD_S_SUCCESS) {
        return Fail(result);
    }
    hasCard_ = true;
    return ReadStatus();
}

std::int16_t Reader::ReadStatus() {
    DWORD atrSize = static_cast<DWORD>(atr_.size());
    DWORD state = 0;
    DWORD protocol = 0;
    DWORD nameSize = 0;
    // The reader's name is known; only the ATR is wanted.
    const LONG result =
        api_.status(card_, nullptr, &nameSize, &state, &protocol, atr_.data(), &atrSize);
    if (result != SCARD_S_SUCCESS) {
        return Fail(result);
    }
    atrSize_ = std::min<std::size_t>(atrSize, atr_.size());
    return rc::kOk;
}

std::int16_t Reader::EnsureHeld() {
    if (held_) {
        return halted_ ? Wake() : rc::kOk;
    }
    if (const auto code = EnsureCard(); code != rc::kOk) {
        return code;
    }
    // Waits while another program holds the card. A reset or removal since our
    // last call answers here (SCARD_W_RESET_CARD, SCARD_W_REMOVED_CARD): no card.
    const LONG result = api_.beginTransaction(card_);
    if (result != SCARD_S_SUCCESS) {
        return Fail(result);
    }
    held_ = true;
    // Nothing from before the hold counts: another program may have used the
    // reader's key location or put down another card meanwhile.
    Forget();
    return rc::kOk;
}

std::int16_t Reader::Wake() {
    // pcsc-lite keeps our transaction across a reset of our own connection: no
    // other program comes between the refused command and the next one.
    if (const LONG result = ResetCard(); result != SCARD_S_SUCCESS) {
        return Fail(result);  // still halted, unless the card is gone
    }
    halted_ = false;
    const auto expected = std::exchange(haltedUid_, std::nullopt);
    if (const auto code = ReadStatus(); code != rc::kOk) {
        return code;
    }
    Bytes uid;
    if (const auto code = ReadUid(uid); code != rc::kOk) {
        return code;
    }
    if (expected && uid != *expected) {
        // Another card answered the poll: the halted one has left the field.
        DropCard();
        return rc::kNoCard;
    }
    heldUid_ = std::move(uid);
    return rc::kOk;
}

std::int16_t Reader::Transmit(Command command, const Bytes& apdu, Bytes& response) {
    if (const auto code = EnsureCard(); code != rc::kOk) {
        return code;
    }
    response.assign(258, 0);
    DWORD size = static_cast<DWORD>(response.size());
    const SCARD_IO_REQUEST request{protocol_, sizeof(SCARD_IO_REQUEST)};
    const LONG result = api_.transmit(card_, &request, apdu.data(), static_cast<DWORD>(apdu.size()),
                                      nullptr, response.data(), &size);
    if (result != SCARD_S_SUCCESS) {
        response.clear();
        return Fail(result);
    }
    response.resize(std::min<std::size_t>(size, response.size()));
    if (response.size() < 2) {
        // Not even a status word: the card did not answer, it has left the field.
        DropCard();
        return rc::kNoCard;
    }
    const std::int16_t code = CodeOfResponse(command, response);
    if (code != rc::kOk) {
        if (held_ && command != Command::kGetUid && command != Command::kLoadKey && !halted_) {
            // The card may have refused: it halts, whatever the reader made of it.
            halted_ = true;
            haltedUid_ = heldUid_;
        }
        // The card or the reader refused: what state either is in now is not known.
        Forget();
    }
    return code;
}

std::int16_t Reader::ReadUid(Bytes& uid) {
    Bytes response;
    if (const auto code = Transmit(Command::kGetUid, GetUidCommand(), response); code != rc::kOk) {
        return code;
    }
    const std::size_t uidSize = response.size() - 2;
    if (uidSize == 0 || uidSize > acr120::kSerialNumberSize) {
        Forget();
        return rc::kUnknownReaderError;
    }
    uid.assign(response.begin(), response.begin() + static_cast<std::ptrdiff_t>(uidSize));
    return rc::kOk;
}

std::int16_t Reader::IdentifyCard(Card& card, bool held) {
    const auto identify = [&]() -> std::int16_t {
        if (!held) {
            return ReadUid(card.uid);
        }
        if (const auto code = EnsureHeld(); code != rc::kOk) {
            return code;
        }
        // The hold proves the card is the one whose UID it read, as long as the
        // service has seen it neither leave the field nor reset: it tells both
        // from its own state, without a command to the card.
        if (heldUid_) {
            if (const auto code = ReadStatus(); code != rc::kOk) {
                return code;
            }
            card.uid = *heldUid_;
            return rc::kOk;
        }
        const auto code = ReadUid(card.uid);
        if (code == rc::kOk) {
            heldUid_ = card.uid;
        }
        return code;
    };
    const bool wasConnected = hasCard_;
    std::int16_t code = identify();
    // A card put down in place of another leaves the old connection dead: one
    // fresh connection finds the new card.
    if (code == rc::kNoCard && wasConnected) {
        code = identify();
    }
    if (code != rc::kOk) {
        return code;
    }
    card.tagType = TagTypeOfCard(std::span(atr_).first(atrSize_), card.uid.size());
    return rc::kOk;
}

std::int16_t Reader::ListTags(std::uint8_t* count, std::uint8_t* tagTypes, std::uint8_t* lengths,
                              std::uint8_t* serials) {
    if (count == nullptr || tagTypes == nullptr || lengths == nullptr || serials == nullptr) {
        return rc::kInvalidParameter;
    }
    // A program that lists the field is done with the card it held.
    Release();
    *count = 0;
    Card card;
    // One command needs no hold, and the monitor lists twice a second: holding
    // the card for it would keep every other program waiting.
    const std::int16_t code = IdentifyCard(card, false);
    if (code == rc::kNoCard || code == rc::kInvalidPort) {
        return rc::kOk;
    }
    if (code != rc::kOk) {
        return code;
    }
    *count = 1;
    tagTypes[0] = card.tagType;
    lengths[0] = static_cast<std::uint8_t>(card.uid.size());
    std::fill_n(serials, acr120::kSerialNumberSize, 0);
    std::copy(card.uid.begin(), card.uid.end(), serials);
    return rc::kOk;
}

std::int16_t Reader::Select(std::uint8_t length, const std::uint8_t* serial,
                            std::uint8_t* tagTypeOut, std::uint8_t* lengthOut,
                            std::uint8_t* serialOut) {
    if (serial == nullptr || length > acr120::kSerialNumberSize) {
        return rc::kInvalidParameter;
    }
    Card card;
    if (const auto code = IdentifyCard(card, true); code != rc::kOk) {
        return code;
    }
    // Only the card in the field can be selected; a UID of another is not there.
    if (length != card.uid.size() || !std::equal(card.uid.begin(), card.uid.end(), serial)) {
        Release();
        return rc::kNoCard;
    }
    if (tagTypeOut != nullptr) {
        *tagTypeOut = card.tagType;
    }
    if (lengthOut != nullptr) {
        *lengthOut = length;
    }
    if (serialOut != nullptr) {
        std::fill_n(serialOut, acr120::kSerialNumberSize, 0);
        std::copy(card.uid.begin(), card.uid.end(), serialOut);
    }
    return rc::kOk;
}

std::int16_t Reader::StoreKey(std::uint8_t slot, const std::uint8_t* key) {
    if (slot >= kKeySlots || key == nullptr) {
        return rc::kInvalidParameter;
    }
    std::copy_n(key, kMifareKeySize, keys_[slot].begin());
    return rc::kOk;
}

std::int16_t Reader::Login(std::uint8_t sector, std::uint8_t keyMode, std::int32_t keySlot,
                           const std::uint8_t* key) {
    const bool stored = keyMode == key_mode::kStoredKeyA || keyMode == key_mode::kStoredKeyB;
    const bool keyB = keyMode == key_mode::kKeyB || keyMode == key_mode::kStoredKeyB;
    if (!stored && keyMode != key_mode::kKeyA && keyMode != key_mode::kKeyB) {
        return rc::kInvalidParameter;
    }
    if (!IsLoginSector(sector) || (stored && (keySlot < 0 || keySlot >= kKeySlots)) ||
        (!stored && key == nullptr)) {
        return rc::kInvalidParameter;
    }
    Key keyBytes{};
    std::copy_n(stored ? keys_[static_cast<std::size_t>(keySlot)].data() : key, keyBytes.size(),
                keyBytes.begin());
    if (const auto code = EnsureHeld(); code != rc::kOk) {
        return code;
    }
    Bytes response;
    if (loadedKey_ != keyBytes) {
        loadedKey_.reset();
        if (const auto code =
                Transmit(Command::kLoadKey, LoadKeyCommand(keyBytes.data()), response);
            code != rc::kOk) {
            return code;
        }
        loadedKey_ = keyBytes;
    }
    const auto block = static_cast<std::uint8_t>(sector * 4);
    return Transmit(Command::kAuthenticate, AuthenticateCommand(block, keyB), response);
}

std::int16_t Reader::Read(std::uint8_t block, std::uint8_t* data) {
    if (data == nullptr) {
        return rc::kInvalidParameter;
    }
    if (const auto code = EnsureHeld(); code != rc::kOk) {
        return code;
    }
    Bytes response;
    if (const auto code = Transmit(Command::kRead, ReadBinaryCommand(block), response);
        code != rc::kOk) {
        return code;
    }
    if (response.size() != kMifareBlockSize + 2) {
        Forget();
        return rc::kUnknownReaderError;
    }
    std::copy_n(response.begin(), kMifareBlockSize, data);
    return rc::kOk;
}

std::int16_t Reader::Write(std::uint8_t block, const std::uint8_t* data) {
    if (data == nullptr) {
        return rc::kInvalidParameter;
    }
    if (const auto code = EnsureHeld(); code != rc::kOk) {
        return code;
    }
    Bytes response;
    return Transmit(Command::kUpdate, UpdateBinaryCommand(block, data), response);
}

}  // namespace pcsc
