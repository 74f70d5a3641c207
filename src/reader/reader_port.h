#pragma once
// The reader port: what the connection, card selection, the card layer and the
// presence monitor need from an opened reader. Connect opens one, of the kind
// the reader name says (serial or USB), and every reader call of the program
// goes through it; the two kinds differ only inside their ports. Operations
// return the library's result (negative for an error); the callers turn it into
// an exception.

#include <array>
#include <cstdint>
#include <memory>

#include "reader/acr120_api.h"

class CACR120Dll;
class CACR120UDll;

enum class PortKind : std::int32_t { None = 0, Serial = 1, Usb = 2 };

// Card types derived from the library's tag type.
inline constexpr std::uint16_t kCardTypeUnknown = 0;
inline constexpr std::uint16_t kCardTypeMifare1K = 1;
inline constexpr std::uint16_t kCardTypeMifare4K = 2;
inline constexpr std::uint16_t kCardTypeSevenByteUid = 3;

// The card type for a tag type the library reports (unknown codes give 0).
std::uint16_t CardTypeFromTagType(std::uint8_t tagType);

// One listing of the field.
struct TagListing {
    // Room for the largest listing: 16 serial numbers of 10 bytes.
    static constexpr std::size_t kSerialRoom =
        static_cast<std::size_t>(acr120::kSerialListMaxTags) * acr120::kSerialNumberSize;

    std::uint8_t count = 0;  // as reported; may be more than the entries describe
    std::array<std::uint8_t, acr120::kMaxTagTypes> tagTypes{};
    // 10 bytes per tag; bytes past a serial number's length are zero, so two
    // listings of the same cards compare equal.
    std::array<std::uint8_t, kSerialRoom> serials{};
    // Serial readers may say that they cannot tell tag types apart.
    bool tagTypesKnown = true;
    // USB readers give each serial number's length.
    std::array<std::uint8_t, acr120::kUsbListMaxTags> lengths{};
};

// The card a selection chose.
struct SelectedTag {
    std::uint16_t cardType = kCardTypeUnknown;
    std::uint8_t tagType = 0;
    std::array<std::uint8_t, acr120::kSerialNumberSize> serialNumber{};
    std::uint8_t serialNumberLength = 0;
};

class IReaderPort {
public:
    virtual ~IReaderPort() = default;

    virtual PortKind Kind() const = 0;
    virtual std::int16_t Handle() const = 0;
    // The serial reader's station number; 0 for USB.
    virtual std::uint8_t Station() const = 0;

    virtual std::int16_t ListTags(TagListing& listing) = 0;
    // Selects the first tag of a listing that found at least one, and says
    // which card it is in `tag`.
    virtual std::int16_t SelectFirst(TagListing& listing, SelectedTag& tag) = 0;
    // Selects the same card again: the card forgets a login after a failed
    // command, so a login always follows a fresh selection.
    virtual std::int16_t Reselect(const SelectedTag& tag) = 0;
    virtual std::int16_t StoreReaderKey(std::uint8_t keySlot, std::uint8_t* key) = 0;
    // Key from `key` (6 bytes), or from the reader's store when `key` is null.
    virtual std::int16_t Login(std::uint8_t loginSector, bool keyB, std::int32_t keySlot,
                               std::uint8_t* key) = 0;
    virtual std::int16_t ReadBlock(std::uint8_t block, std::uint8_t* data) = 0;
    virtual std::int16_t WriteBlock(std::uint8_t block, std::uint8_t* data) = 0;
    // Some readers report a failed read-back after a trailer write although the
    // trailer was written (the card answers differently once its access bits
    // change); each library has its own code for it.
    virtual bool IsTrailerReadBackError(std::int16_t result) const = 0;
    // Closes the reader; the result is not looked at.
    virtual void Close() = 0;
};

// Opens reader `portIndex` (0 for COM1 / USB1) through the library of `kind`
// (which must be loaded; the other may be null), readies it, and returns its
// port. Throws the reader's error when it cannot be opened, and "Reader type is
// not supported" for PortKind::None.
std::unique_ptr<IReaderPort> OpenReaderPort(PortKind kind, std::int16_t portIndex,
                                            std::int16_t option, CACR120Dll* serialLibrary,
                                            CACR120UDll* usbLibrary);
