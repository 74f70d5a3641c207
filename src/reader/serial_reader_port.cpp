// The port of a reader on a serial line: calls take the station number learnt
// when the reader was opened, and every call goes through the call trace.

#include <algorithm>
#include <array>

#include "reader/acr120_dll.h"
#include "reader/reader_error.h"
#include "reader/reader_ports.h"

namespace {

using Entries = CACR120Dll::Entries;
using reader_trace::SerialBytes;
using reader_trace::Shown;

constexpr std::uint8_t kRegisterMode = 5;
constexpr std::uint8_t kModeToRewrite = 0x42;
constexpr std::uint8_t kModeWanted = 0x46;

using SerialNumber = std::array<std::uint8_t, acr120::kSerialNumberSize>;

// A reader that gives no type flag still tells a 4-byte serial number (bytes 5
// to 7 zero) from a 7-byte one.
bool HasFourByteSerial(const SerialNumber& serial) {
    return serial[4] == 0 && serial[5] == 0 && serial[6] == 0;
}

std::uint8_t SerialLengthForCardType(std::uint16_t cardType) {
    switch (cardType) {
        case kCardTypeMifare1K:
        case kCardTypeMifare4K:
            return 4;
        case kCardTypeSevenByteUid:
            return 7;
        default:
            return 0;
    }
}

class CSerialReaderPort final : public IReaderPort {
public:
    explicit CSerialReaderPort(CACR120Dll& library) : library_(library) {}

    void Open(std::int16_t portIndex, std::int16_t option) {
        const std::int16_t handle = library_.Call(&Entries::open, portIndex, option);
        CheckReaderResult(handle);

        std::uint8_t stationCount = 0;
        std::array<std::uint8_t, acr120::kStationListSize> stations{};
        const std::int16_t idResult =
            library_.Call(&Entries::getId, handle, Shown{&stationCount}, Shown{stations.data()});
        if (idResult < 0 || stationCount == 0) {
            library_.Call(&Entries::close, handle);
            throw CACR120Exception(idResult < 0 ? idResult : acr120::rc::kInternalError);
        }
        handle_ = handle;
        station_ = stations[0];

        // Readers that come up in mode 0x42 are switched to 0x46; a reader that
        // cannot say which mode it is in is left as it is.
        std::uint8_t mode = 0;
        if (library_.Call(&Entries::readEeprom, handle_, station_, kRegisterMode, Shown{&mode}) ==
                0 &&
            mode == kModeToRewrite) {
            library_.Call(&Entries::writeEeprom, handle_, station_, kRegisterMode, kModeWanted);
        }
    }

    PortKind Kind() const override { return PortKind::Serial; }
    std::int16_t Handle() const override { return handle_; }
    std::uint8_t Station() const override { return station_; }

    std::int16_t ListTags(TagListing& listing) override {
        std::uint32_t typeFlag = 0;
        const std::int16_t result = library_.Call(
            &Entries::listTag, handle_, station_, Shown{&listing.count}, Shown{&typeFlag},
            Shown{listing.tagTypes.data()}, SerialBytes{listing.serials.data()});
        listing.tagTypesKnown = typeFlag != 0;
        return result;
    }

    std::int16_t SelectFirst(TagListing& listing, SelectedTag& tag) override {
        tag.tagType = listing.tagTypesKnown ? listing.tagTypes[0] : 0;
        std::uint32_t one = 1;
        std::uint8_t tagType = tag.tagType;
        const std::int16_t result = library_.Call(
            &Entries::multiTagSelect, handle_, station_, SerialBytes{listing.serials.data()},
            Shown{&one}, Shown{&tagType}, SerialBytes{tag.serialNumber.data()});
        if (result < 0) {
            return result;
        }
        if (listing.tagTypesKnown) {
            tag.cardType = CardTypeFromTagType(tag.tagType);
            tag.serialNumberLength = SerialLengthForCardType(tag.cardType);
        } else if (HasFourByteSerial(tag.serialNumber)) {
            tag.cardType = kCardTypeMifare1K;
            tag.serialNumberLength = 4;
        } else {
            tag.cardType = kCardTypeSevenByteUid;
            tag.serialNumberLength = 7;
        }
        return result;
    }

    std::int16_t Reselect(const SelectedTag& tag) override {
        SerialNumber serial = tag.serialNumber;
        SerialNumber serialOut{};
        std::uint32_t value = 1;
        std::uint8_t tagType = tag.tagType;
        return library_.Call(&Entries::multiTagSelect, handle_, station_,
                             SerialBytes{serial.data()}, Shown{&value}, Shown{&tagType},
                             SerialBytes{serialOut.data()});
    }

    std::int16_t StoreReaderKey(std::uint8_t keySlot, std::uint8_t* key) override {
        return library_.Call(&Entries::writeMasterKey, handle_, station_, keySlot, key);
    }

    std::int16_t Login(std::uint8_t loginSector, bool keyB, std::int32_t keySlot,
                       std::uint8_t* key) override {
        namespace mode = acr120::serial_key_mode;
        const std::uint8_t keyMode = key == nullptr ? (keyB ? mode::kStoredKeyB : mode::kStoredKeyA)
                                                    : (keyB ? mode::kKeyB : mode::kKeyA);
        return library_.Call(&Entries::login, handle_, station_, loginSector, keyMode, keySlot,
                             key);
    }

    std::int16_t ReadBlock(std::uint8_t block, std::uint8_t* data) override {
        return library_.Call(&Entries::read, handle_, station_, block, data);
    }

    std::int16_t WriteBlock(std::uint8_t block, std::uint8_t* data) override {
        return library_.Call(&Entries::write, handle_, station_, block, data);
    }

    bool IsTrailerReadBackError(std::int16_t result) const override {
        return result == acr120::rc::kReadFailAfterOperation;
    }

    void Close() override { library_.Call(&Entries::close, handle_); }

private:
    CACR120Dll& library_;
    std::int16_t handle_ = -1;
    std::uint8_t station_ = 0;
};

}  // namespace

std::unique_ptr<IReaderPort> OpenSerialReaderPort(CACR120Dll& library, std::int16_t portIndex,
                                                  std::int16_t option) {
    // Made before the reader is opened, so that no failure can come between
    // opening it and handing back what closes it.
    auto port = std::make_unique<CSerialReaderPort>(library);
    port->Open(portIndex, option);
    return port;
}
