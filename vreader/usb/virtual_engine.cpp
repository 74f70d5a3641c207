// The virtual readers as an engine of the USB library: the USB variant's calls
// (no station, ACR120_ListTags) over the operations both variants share.

#include <cstdint>

#include "lib/operations.h"
#include "reader/acr120_api.h"
#include "usb/usb_engine.h"

namespace vreader::usb {

namespace {

constexpr lib::Variant kVariant{true};

std::int16_t ACR120_CALL ListPorts(std::uint8_t* portIndexes, std::uint8_t room) {
    return lib::ListPorts(kVariant, portIndexes, room);
}

std::int16_t ACR120_CALL Open(std::int16_t portIndex) {
    return lib::Open(kVariant, portIndex);
}

std::int16_t ACR120_CALL Close(std::int16_t handle) {
    return lib::Close(kVariant, handle);
}

std::int16_t ACR120_CALL ListTags(std::int16_t handle, std::uint8_t* count, std::uint8_t* tagTypes,
                                  std::uint8_t* lengths, std::uint8_t* serials) {
    return lib::ListTags(kVariant, handle, std::nullopt, count, nullptr, tagTypes, lengths,
                         serials);
}

std::int16_t ACR120_CALL MultiTagSelect(std::int16_t handle, std::uint8_t length,
                                        std::uint8_t* serial, std::uint8_t* tagTypeOut,
                                        std::uint8_t* lengthOut, std::uint8_t* serialOut) {
    return lib::MultiTagSelect(kVariant, handle, std::nullopt, length, serial, tagTypeOut,
                               lengthOut, serialOut);
}

std::int16_t ACR120_CALL Select(std::int16_t handle, std::uint8_t* tagType, std::uint8_t* tagLength,
                                std::uint8_t* serial) {
    return lib::Select(kVariant, handle, std::nullopt, tagType, tagLength, serial);
}

std::int16_t ACR120_CALL WriteMasterKey(std::int16_t handle, std::uint8_t keySlot,
                                        std::uint8_t* key) {
    return lib::WriteMasterKey(kVariant, handle, std::nullopt, keySlot, key);
}

std::int16_t ACR120_CALL Login(std::int16_t handle, std::uint8_t sector, std::uint8_t keyMode,
                               std::int32_t keySlot, std::uint8_t* key) {
    return lib::Login(kVariant, handle, std::nullopt, sector, keyMode, keySlot, key);
}

std::int16_t ACR120_CALL Read(std::int16_t handle, std::uint8_t block, std::uint8_t* data) {
    return lib::Read(kVariant, handle, std::nullopt, block, data);
}

std::int16_t ACR120_CALL Write(std::int16_t handle, std::uint8_t block, std::uint8_t* data) {
    return lib::Write(kVariant, handle, std::nullopt, block, data);
}

std::int16_t ACR120_CALL ReadValue(std::int16_t handle, std::uint8_t block, std::int32_t* value) {
    return lib::ReadValue(kVariant, handle, std::nullopt, block, value);
}

std::int16_t ACR120_CALL WriteValue(std::int16_t handle, std::uint8_t block, std::int32_t value) {
    return lib::WriteValue(kVariant, handle, std::nullopt, block, value);
}

std::int16_t ACR120_CALL Inc(std::int16_t handle, std::uint8_t block, std::int32_t amount,
                             std::int32_t* newValue) {
    return lib::Increment(kVariant, handle, std::nullopt, block, amount, newValue, true);
}

std::int16_t ACR120_CALL Dec(std::int16_t handle, std::uint8_t block, std::int32_t amount,
                             std::int32_t* newValue) {
    return lib::Increment(kVariant, handle, std::nullopt, block, amount, newValue, false);
}

std::int16_t ACR120_CALL ReadEEPROM(std::int16_t handle, std::uint8_t reg, std::uint8_t* value) {
    return lib::ReadEeprom(kVariant, handle, std::nullopt, reg, value);
}

std::int16_t ACR120_CALL WriteEEPROM(std::int16_t handle, std::uint8_t reg, std::uint8_t value) {
    return lib::WriteEeprom(kVariant, handle, std::nullopt, reg, value);
}

}  // namespace

const UsbEngine& VirtualEngine() {
    static const UsbEngine engine = VREADER_USB_ENGINE_OF_CALLS_IN_SCOPE;
    return engine;
}

}  // namespace vreader::usb
