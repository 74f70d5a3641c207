// The operations that reach the selected card: login, block reads and writes, and the
// value block operations.

#include <algorithm>
#include <limits>
#include <span>
#include <string>

#include "core/mifare.h"
#include "core/state.h"
#include "lib/call_runner.h"
#include "lib/card_access.h"
#include "lib/operations.h"
#include "lib/selected_card.h"
#include "reader/acr120_api.h"

namespace vreader::lib {

namespace rc = acr120::rc;
using card_model::Bytes;
using card_model::Key;

namespace {

struct LoginKey {
    Key key = Key::kA;
    bool fromSlot = false;  // a key the reader keeps in a slot, else one the caller gives
};

std::optional<LoginKey> LoginKeyOfMode(Variant variant, std::uint8_t keyMode) {
    namespace serial = acr120::serial_key_mode;
    namespace usb = acr120::usb_key_mode;
    if (keyMode == (variant.usb ? usb::kKeyA : serial::kKeyA)) {
        return LoginKey{Key::kA, false};
    }
    if (keyMode == (variant.usb ? usb::kKeyB : serial::kKeyB)) {
        return LoginKey{Key::kB, false};
    }
    if (keyMode == (variant.usb ? usb::kStoredKeyA : serial::kStoredKeyA)) {
        return LoginKey{Key::kA, true};
    }
    if (keyMode == (variant.usb ? usb::kStoredKeyB : serial::kStoredKeyB)) {
        return LoginKey{Key::kB, true};
    }
    return std::nullopt;
}

std::span<std::uint8_t> BlockOf(Bytes& image, int block) {
    return std::span(image).subspan(static_cast<std::size_t>(block) * card_model::kBlockSize,
                                    card_model::kBlockSize);
}

// The trailer keeps its keys out of the log, which is made to be read and passed
// around; the access bytes show.
std::string BlockDataForLog(int block, const std::uint8_t* data) {
    std::string text = HexOrNull(data, card_model::kBlockSize);
    if (data != nullptr && card_model::IsTrailer(block)) {
        const std::size_t keyDigits = card_model::kKeySize * 2;
        const std::size_t accessDigits = card_model::kAccessBytesSize * 2;
        text = std::string(keyDigits, '*') + text.substr(keyDigits, accessDigits) +
               std::string(keyDigits, '*');
    }
    return text;
}

// What the block's access condition lets the logged-in key do: card_model::DataRead,
// DataWrite, DataIncrement or DataDecrement.
using ValueAccess = bool (*)(int condition, Key key);

// Common checks of the value operations, up to whether the key may do `access` on
// the block; gives the card's image.
std::int16_t ReachValueBlock(ReaderSession& session, int block, ValueAccess access,
                             std::optional<Bytes>& image) {
    image = CurrentImage(session);
    if (!image) {
        return rc::kNoCard;
    }
    if (!IsClassic(*image)) {
        return rc::kOperationFailed;  // the 7-byte tag knows no value blocks
    }
    int condition = 0;
    if (auto result = ReachBlock(session, *image, block, &condition); result != rc::kOk) {
        return result;
    }
    if (card_model::IsTrailer(block) || block == 0) {
        return rc::kNotAuthorized;
    }
    return access(condition, session.authenticatedKey) ? rc::kOk : rc::kNotAuthorized;
}

}  // namespace

std::int16_t Login(Variant variant, std::int16_t handle, Station station, std::uint8_t sector,
                   std::uint8_t keyMode, std::int32_t slot, const std::uint8_t* key) {
    return GuardedCall(
        handle, "Login", station,
        [&](ReaderSession& session) -> std::int16_t {
            const auto loginKey = LoginKeyOfMode(variant, keyMode);
            if (!loginKey) {
                return rc::kInvalidParameter;
            }
            KeyBytes given{};
            if (loginKey->fromSlot) {
                if (slot < 0 || slot >= state::kKeySlots) {
                    return rc::kInvalidParameter;
                }
                const auto keys = state::ReadKeys(session.readerDir);
                std::copy_n(keys.begin() + slot * card_model::kKeySize, card_model::kKeySize,
                            given.begin());
            } else {
                if (key == nullptr) {
                    return rc::kInvalidParameter;
                }
                std::copy_n(key, card_model::kKeySize, given.begin());
            }
            const auto target = card_model::SectorOfLoginArgument(sector);
            if (!target) {
                return rc::kInvalidParameter;
            }
            const auto image = CurrentImage(session);
            if (!image) {
                return rc::kNoCard;
            }
            // From here a failure is the card's: it falls back to idle, and only a
            // new selection wakes it.
            session.authenticatedSector.reset();
            if (!CardAcceptsKey(*image, *target, loginKey->key, given)) {
                session.Deselect();
                return rc::kLoginFailed;
            }
            session.authenticatedSector = *target;
            session.authenticatedKey = loginKey->key;
            return rc::kOk;
        },
        [&](std::int16_t) {
            return "sector=" + std::to_string(sector) + " mode=" + std::to_string(keyMode) +
                   " slot=" + std::to_string(slot);
        });
}

std::int16_t Read(Variant, std::int16_t handle, Station station, std::uint8_t block,
                  std::uint8_t* data) {
    return GuardedCall(
        handle, "Read", station,
        [&](ReaderSession& session) -> std::int16_t {
            if (data == nullptr) {
                return rc::kInvalidParameter;
            }
            const auto image = CurrentImage(session);
            if (!image) {
                return rc::kNoCard;
            }
            if (!IsClassic(*image)) {
                return ReadFourPages(*image, block, data);
            }
            int condition = 0;
            if (auto result = ReachBlock(session, *image, block, &condition); result != rc::kOk) {
                return result;
            }
            return ReadClassicBlock(*image, block, condition, session.authenticatedKey, data);
        },
        [&](std::int16_t result) {
            return "block=" + std::to_string(block) + OutputsIfOk(result, [&] {
                       return " data=" + HexOrNull(data, card_model::kBlockSize);
                   });
        });
}

std::int16_t Write(Variant variant, std::int16_t handle, Station station, std::uint8_t block,
                   const std::uint8_t* data) {
    return GuardedCall(
        handle, "Write", station,
        [&](ReaderSession& session) -> std::int16_t {
            if (data == nullptr) {
                return rc::kInvalidParameter;
            }
            auto image = CurrentImage(session);
            if (!image) {
                return rc::kNoCard;
            }
            if (!IsClassic(*image)) {
                if (auto result = WritePage(*image, block, data); result != rc::kOk) {
                    return result;
                }
                return StoreImage(session, *image);
            }
            int condition = 0;
            if (auto result = ReachBlock(session, *image, block, &condition); result != rc::kOk) {
                return result;
            }
            if (block == 0) {
                return rc::kNotAuthorized;  // the manufacturer block is read-only
            }
            const auto target = BlockOf(*image, block);
            if (!card_model::IsTrailer(block)) {
                if (!card_model::DataWrite(condition, session.authenticatedKey)) {
                    return rc::kNotAuthorized;
                }
                std::copy_n(data, card_model::kBlockSize, target.begin());
                return StoreImage(session, *image);
            }
            if (!WriteTrailer(target, data, condition, session.authenticatedKey)) {
                return rc::kNotAuthorized;
            }
            if (auto result = StoreImage(session, *image); result != rc::kOk) {
                return result;
            }
            // The reader reads the block back to verify, meets the blanked key A and
            // reports a failure, though the card took the write.
            return variant.usb ? rc::kUnknownReaderError : rc::kReadFailAfterOperation;
        },
        [&](std::int16_t) {
            return "block=" + std::to_string(block) + " data=" + BlockDataForLog(block, data);
        });
}

std::int16_t ReadValue(Variant, std::int16_t handle, Station station, std::uint8_t block,
                       std::int32_t* value) {
    return GuardedCall(
        handle, "ReadValue", station,
        [&](ReaderSession& session) -> std::int16_t {
            if (value == nullptr) {
                return rc::kInvalidParameter;
            }
            std::optional<Bytes> image;
            if (auto result = ReachValueBlock(session, block, card_model::DataRead, image);
                result != rc::kOk) {
                return result;
            }
            const auto decoded = card_model::DecodeValue(BlockOf(*image, block));
            if (!decoded) {
                return rc::kInvalidValueBlock;
            }
            *value = *decoded;
            return rc::kOk;
        },
        [&](std::int16_t result) {
            return "block=" + std::to_string(block) +
                   OutputsIfOk(result, [&] { return " value=" + std::to_string(*value); });
        });
}

std::int16_t WriteValue(Variant, std::int16_t handle, Station station, std::uint8_t block,
                        std::int32_t value) {
    return GuardedCall(
        handle, "WriteValue", station,
        [&](ReaderSession& session) -> std::int16_t {
            std::optional<Bytes> image;
            if (auto result = ReachValueBlock(session, block, card_model::DataWrite, image);
                result != rc::kOk) {
                return result;
            }
            card_model::EncodeValue(value, block, BlockOf(*image, block));
            return StoreImage(session, *image);
        },
        [&](std::int16_t) {
            return "block=" + std::to_string(block) + " value=" + std::to_string(value);
        });
}

std::int16_t Increment(Variant, std::int16_t handle, Station station, std::uint8_t block,
                       std::int32_t amount, std::int32_t* newValue, bool up) {
    return GuardedCall(
        handle, up ? "Inc" : "Dec", station,
        [&](ReaderSession& session) -> std::int16_t {
            if (amount < 0 || newValue == nullptr) {
                return rc::kInvalidParameter;
            }
            std::optional<Bytes> image;
            if (auto result = ReachValueBlock(
                    session, block, up ? card_model::DataIncrement : card_model::DataDecrement,
                    image);
                result != rc::kOk) {
                return result;
            }
            const auto valueBlock = BlockOf(*image, block);
            const auto value = card_model::DecodeValue(valueBlock);
            if (!value) {
                return rc::kValueBlockFormat;
            }
            const std::int64_t next = static_cast<std::int64_t>(*value) + (up ? amount : -amount);
            if (up && next > std::numeric_limits<std::int32_t>::max()) {
                return rc::kIncrementOverflow;
            }
            if (!up && next < 0) {
                return rc::kDecrementFailure;
            }
            // The block keeps the address it holds, whatever block it sits in.
            card_model::EncodeValue(static_cast<std::int32_t>(next),
                                    valueBlock[card_model::kValueAddressOffset], valueBlock);
            if (auto result = StoreImage(session, *image); result != rc::kOk) {
                return result;
            }
            *newValue = static_cast<std::int32_t>(next);
            return rc::kOk;
        },
        [&](std::int16_t result) {
            return "block=" + std::to_string(block) + " amount=" + std::to_string(amount) +
                   OutputsIfOk(result, [&] { return " value=" + std::to_string(*newValue); });
        });
}

}  // namespace vreader::lib
