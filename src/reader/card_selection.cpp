// Selecting the card in the field before a card command, and giving it back to
// the presence monitor afterwards.

#include <algorithm>
#include <array>

#include "errors/coded_exception.h"
#include "reader/acr120_base.h"
#include "reader/reader_error.h"

namespace {

constexpr std::size_t kSerialSize = acr120::kSerialNumberSize;
// Room a USB listing gets here: more than the library promises to fill.
constexpr std::size_t kUsbSerialRoom = 20;

// A serial reader that gives no type flag still tells a 4-byte serial number
// (bytes 5 to 7 zero) from a 7-byte one.
bool HasFourByteSerial(const std::array<std::uint8_t, 10>& serial) {
    return serial[4] == 0 && serial[5] == 0 && serial[6] == 0;
}

std::uint8_t SerialLengthForCardType(std::uint16_t cardType) {
    switch (cardType) {
        case kCardTypeMifare1K:
        case kCardTypeMifare4K: return 4;
        case kCardTypeSevenByteUid: return 7;
        default: return 0;
    }
}

}  // namespace

std::uint16_t CardTypeFromTagType(std::uint8_t tagType) {
    switch (tagType) {
        case acr120::kTagMifare1K: return kCardTypeMifare1K;
        case acr120::kTagMifare4K: return kCardTypeMifare4K;
        case acr120::kTagSevenByteUid: return kCardTypeSevenByteUid;
        default: return kCardTypeUnknown;
    }
}

void CACR120Base::ConnectCard() {
    if (!connected_) {
        throw CCodedException(kErrReaderNotConnected, kSourceReaderBase);
    }
    {
        ReaderLockHolder hold(*readerLock_);
        cardConnected_ = false;
    }
    // Held through listing and selection, so that no listing of the monitor
    // can come between them.
    ReaderLockHolder hold(*readerLock_);
    serialNumber_.fill(0);
    tagType_ = 0;

    switch (portKind_) {
        case PortKind::Usb: {
            std::uint8_t count = 0;
            std::array<std::uint8_t, acr120::kMaxTagTypes> tagTypes{};
            std::array<std::uint8_t, acr120::kUsbListMaxTags> lengths{};
            std::array<std::uint8_t, kUsbSerialRoom * kSerialSize> serials{};
            CheckReaderResult(usbDll_->ACR120_ListTags(readerHandle_, &count, tagTypes.data(),
                                                       lengths.data(), serials.data()));
            if (count == 0) {
                throw CACR120Exception(acr120::rc::kNoCard);
            }
            // The library reads as many bytes as the length says from a
            // 10-byte buffer, and the card layer trusts the length it gets back.
            const auto firstLength =
                static_cast<std::uint8_t>(std::min<std::size_t>(lengths[0], kSerialSize));
            std::uint8_t selectedLength = 0;
            CheckReaderResult(usbDll_->ACR120_MultiTagSelect(readerHandle_, firstLength,
                                                             serials.data(), &tagType_,
                                                             &selectedLength, serialNumber_.data()));
            serialNumberLength_ =
                static_cast<std::uint8_t>(std::min<std::size_t>(selectedLength, kSerialSize));
            cardType_ = CardTypeFromTagType(tagType_);
            break;
        }
        case PortKind::Serial: {
            std::uint8_t count = 0;
            std::uint32_t typeFlag = 0;
            std::array<std::uint8_t, acr120::kMaxTagTypes> tagTypes{};
            std::array<std::uint8_t, acr120::kSerialListMaxTags * kSerialSize> serials{};
            CheckReaderResult(serialDll_->ListTag(readerHandle_, station_, &count, &typeFlag,
                                                  tagTypes.data(), serials.data()));
            if (count == 0) {
                throw CACR120Exception(acr120::rc::kNoCard);
            }
            tagType_ = typeFlag != 0 ? tagTypes[0] : 0;
            std::uint32_t one = 1;
            std::uint8_t tagTypeCopy = tagType_;
            CheckReaderResult(serialDll_->MultiTagSelect(readerHandle_, station_, serials.data(),
                                                         &one, &tagTypeCopy, serialNumber_.data()));
            if (typeFlag != 0) {
                cardType_ = CardTypeFromTagType(tagType_);
                serialNumberLength_ = SerialLengthForCardType(cardType_);
            } else if (HasFourByteSerial(serialNumber_)) {
                cardType_ = kCardTypeMifare1K;
                serialNumberLength_ = 4;
            } else {
                cardType_ = kCardTypeSevenByteUid;
                serialNumberLength_ = 7;
            }
            break;
        }
        default:
            throw CCodedException(kErrReaderTypeNotSupported, kSourceReaderBase);
    }
    cardConnected_ = true;
}

void CACR120Base::DisconnectCard() {
    ReaderLockHolder hold(*readerLock_);
    cardConnected_ = false;
}
