#include "pcsc/storage_card.h"

#include <algorithm>

#include "reader/acr120_api.h"

namespace pcsc {

namespace rc = acr120::rc;

namespace {

constexpr std::uint8_t kClass = 0xFF;
constexpr std::uint8_t kKeyTypeA = 0x60;
constexpr std::uint8_t kKeyTypeB = 0x61;
constexpr std::uint8_t kAuthenticateVersion = 0x01;

// The registered application provider id of the PC/SC workgroup, which opens the
// application identifier of a storage card's ATR; the card name follows the
// standard byte.
constexpr std::uint8_t kPcscRid[] = {0xA0, 0x00, 0x00, 0x03, 0x06};
constexpr std::uint16_t kNameClassic1K = 0x0001;
constexpr std::uint16_t kNameClassic4K = 0x0002;

// The historical bytes of an ATR: after TS, T0 and the interface bytes that T0
// and each TDi announce. Empty when the ATR is shorter than it says.
std::span<const std::uint8_t> HistoricalBytes(std::span<const std::uint8_t> atr) {
    if (atr.size() < 2) {
        return {};
    }
    const std::size_t count = atr[1] & 0x0F;
    std::size_t at = 2;
    std::uint8_t indicator = atr[1];
    for (;;) {
        at += static_cast<std::size_t>(((indicator >> 4) & 1) + ((indicator >> 5) & 1) +
                                       ((indicator >> 6) & 1));
        if ((indicator & 0x80) == 0) {
            break;
        }
        if (at >= atr.size()) {
            return {};
        }
        indicator = atr[at++];
    }
    if (at + count > atr.size()) {
        return {};
    }
    return atr.subspan(at, count);
}

std::uint16_t StatusWord(std::span<const std::uint8_t> response) {
    return static_cast<std::uint16_t>(response[response.size() - 2] << 8 |
                                      response[response.size() - 1]);
}

}  // namespace

Bytes GetUidCommand() {
    return {kClass, 0xCA, 0x00, 0x00, 0x00};
}

Bytes LoadKeyCommand(const std::uint8_t* key) {
    // Key structure 00: a card key, plain transmission, volatile memory.
    Bytes command{kClass, 0x82, 0x00, kVolatileKeyLocation, kMifareKeySize, 0, 0, 0, 0, 0, 0};
    std::copy_n(key, kMifareKeySize, command.begin() + 5);
    return command;
}

Bytes AuthenticateCommand(std::uint8_t block, bool keyB) {
    return {kClass,
            0x86,
            0x00,
            0x00,
            0x05,
            kAuthenticateVersion,
            0x00,
            block,
            keyB ? kKeyTypeB : kKeyTypeA,
            kVolatileKeyLocation};
}

Bytes ReadBinaryCommand(std::uint8_t block) {
    return {kClass, 0xB0, 0x00, block, kMifareBlockSize};
}

Bytes UpdateBinaryCommand(std::uint8_t block, const std::uint8_t* data) {
    Bytes command(5 + kMifareBlockSize);
    command[0] = kClass;
    command[1] = 0xD6;
    command[3] = block;
    command[4] = kMifareBlockSize;
    std::copy_n(data, kMifareBlockSize, command.begin() + 5);
    return command;
}

std::int16_t CodeOfResponse(Command command, std::span<const std::uint8_t> response) {
    if (response.size() < 2) {
        return rc::kUnknownReaderError;
    }
    const std::uint16_t sw = StatusWord(response);
    if (sw == 0x9000) {
        return rc::kOk;
    }
    switch (command) {
        case Command::kAuthenticate:
            // 63 00: the card did not take the key; 69 8x: the reader refused it.
            if (sw == 0x6300 || (sw & 0xFFF0) == 0x6980) {
                return rc::kLoginFailed;
            }
            break;
        case Command::kLoadKey:
            if (sw == 0x6300 || (sw & 0xFF00) == 0x6900) {
                return rc::kInvalidStoredKey;
            }
            break;
        case Command::kRead:
        case Command::kUpdate:
            if (sw == 0x6981 || sw == 0x6982 || sw == 0x6986) {
                return rc::kNotAuthorized;
            }
            if (sw == 0x6300) {
                return rc::kOperationFailed;
            }
            break;
        case Command::kGetUid:
            break;
    }
    if (sw == 0x6A81 || sw == 0x6D00 || sw == 0x6E00) {
        return rc::kOperationFailed;  // the reader does not support the command
    }
    if (sw == 0x6A82 || sw == 0x6A86 || sw == 0x6B00 || (sw & 0xFF00) == 0x6700) {
        return rc::kInvalidParameter;  // a block or length the card does not have
    }
    return rc::kUnknownReaderError;
}

std::uint8_t TagTypeOfCard(std::span<const std::uint8_t> atr, std::size_t uidLength) {
    const auto historical = HistoricalBytes(atr);
    // 80 (category), 4F (application identifier) with its length, RID, standard, name.
    constexpr std::size_t kNameAt = 3 + sizeof kPcscRid + 1;
    if (historical.size() >= kNameAt + 2 && historical[0] == 0x80 && historical[1] == 0x4F &&
        historical[2] >= sizeof kPcscRid + 3 &&
        std::equal(std::begin(kPcscRid), std::end(kPcscRid), historical.begin() + 3)) {
        const auto name =
            static_cast<std::uint16_t>(historical[kNameAt] << 8 | historical[kNameAt + 1]);
        if (name == kNameClassic1K) {
            return acr120::kTagMifare1K;
        }
        if (name == kNameClassic4K) {
            return acr120::kTagMifare4K;
        }
    }
    return uidLength == 7 ? acr120::kTagSevenByteUid : 0;
}

}  // namespace pcsc
