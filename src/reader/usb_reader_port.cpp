// The port of a USB reader: no station, and calls go straight to the library,
// untraced.

#include <algorithm>
#include <array>

#include "reader/acr120u_dll.h"
#include "reader/reader_error.h"
#include "reader/reader_ports.h"

namespace {

using Entries = CACR120UDll::Entries;
using SerialNumber = std::array<std::uint8_t, acr120::kSerialNumberSize>;
constexpr std::size_t kSerialSize = acr120::kSerialNumberSize;

// The library reads as many bytes as a length says from a 10-byte buffer, and
// the card layer trusts the length it gets back.
std::uint8_t CappedLength(std::uint8_t length) {
    return static_cast<std::uint8_t>(std::min<std::size_t>(length, kSerialSize));
}

class CUsbReaderPort final : public IReaderPort {
public:
    explicit CUsbReaderPort(CACR120UDll& library) : library_(library) {}

    void Open(std::int16_t portIndex) {
        const std::int16_t handle = library_.Call(&Entries::open, portIndex);
        CheckReaderResult(handle);
        handle_ = handle;
    }

    PortKind Kind() const override { return PortKind::Usb; }
    std::int16_t Handle() const override { return handle_; }
    std::uint8_t Station() const override { return 0; }

    std::int16_t ListTags(TagListing& listing) override {
        const std::int16_t result =
            library_.Call(&Entries::listTags, handle_, &listing.count, listing.tagTypes.data(),
                          listing.lengths.data(), listing.serials.data());
        listing.tagTypesKnown = true;
        // The library may report more tags than it has room to describe; bytes
        // past a serial number's length, or past the entries that exist, are
        // whatever the library left there, and are cleared so that they cannot
        // fake a new card.
        const std::size_t listed = std::min<std::size_t>(listing.count, acr120::kUsbListMaxTags);
        for (std::size_t i = 0; i < TagListing::kSerialRoom / kSerialSize; ++i) {
            const std::size_t keep = i < listed ? CappedLength(listing.lengths[i]) : 0;
            auto serial = listing.serials.begin() + static_cast<std::ptrdiff_t>(i * kSerialSize);
            std::fill(serial + static_cast<std::ptrdiff_t>(keep),
                      serial + static_cast<std::ptrdiff_t>(kSerialSize), std::uint8_t{0});
        }
        return result;
    }

    std::int16_t SelectFirst(TagListing& listing, SelectedTag& tag) override {
        std::uint8_t selectedLength = 0;
        const std::int16_t result = library_.Call(
            &Entries::multiTagSelect, handle_, CappedLength(listing.lengths[0]),
            listing.serials.data(), &tag.tagType, &selectedLength, tag.serialNumber.data());
        if (result < 0) {
            return result;
        }
        tag.serialNumberLength = CappedLength(selectedLength);
        tag.cardType = CardTypeFromTagType(tag.tagType);
        return result;
    }

    std::int16_t Reselect(const SelectedTag& tag) override {
        SerialNumber serial = tag.serialNumber;
        SerialNumber serialOut{};
        std::uint8_t tagTypeOut = 0;
        std::uint8_t lengthOut = 0;
        return library_.Call(&Entries::multiTagSelect, handle_, tag.serialNumberLength,
                             serial.data(), &tagTypeOut, &lengthOut, serialOut.data());
    }

    std::int16_t StoreReaderKey(std::uint8_t keySlot, std::uint8_t* key) override {
        return library_.Call(&Entries::writeMasterKey, handle_, keySlot, key);
    }

    std::int16_t Login(std::uint8_t loginSector, bool keyB, std::int32_t keySlot,
                       std::uint8_t* key) override {
        namespace mode = acr120::usb_key_mode;
        const std::uint8_t keyMode = key == nullptr ? (keyB ? mode::kStoredKeyB : mode::kStoredKeyA)
                                                    : (keyB ? mode::kKeyB : mode::kKeyA);
        return library_.Call(&Entries::login, handle_, loginSector, keyMode, keySlot, key);
    }

    std::int16_t ReadBlock(std::uint8_t block, std::uint8_t* data) override {
        return library_.Call(&Entries::read, handle_, block, data);
    }

    std::int16_t WriteBlock(std::uint8_t block, std::uint8_t* data) override {
        return library_.Call(&Entries::write, handle_, block, data);
    }

    bool IsTrailerReadBackError(std::int16_t result) const override {
        return result == acr120::rc::kUnknownReaderError;
    }

    void Close() override { library_.Call(&Entries::close, handle_); }

private:
    CACR120UDll& library_;
    std::int16_t handle_ = -1;
};

}  // namespace

std::unique_ptr<IReaderPort> OpenUsbReaderPort(CACR120UDll& library, std::int16_t portIndex) {
    auto port = std::make_unique<CUsbReaderPort>(library);
    port->Open(portIndex);
    return port;
}
