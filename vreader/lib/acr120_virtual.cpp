// The exported functions of the serial reader library (libacr120.so: station
// argument, ACR120_GetID, ACR120_ListTag). The USB variant's calls are an engine of
// the USB library (usb/virtual_engine.cpp).

#include <cstdint>

#include "lib/exports.h"
#include "lib/operations.h"
#include "reader/acr120_api.h"

namespace {
constexpr vreader::lib::Variant kVariant{false};
}

using vreader::lib::Station;

// Not the maker's: the readers this library serves, for the program's reader list.
VREADER_EXPORT std::int16_t ACR120_CALL Tagquill_ListPorts(std::uint8_t* portIndexes,
                                                           std::uint8_t room) {
    return vreader::lib::ListPorts(kVariant, portIndexes, room);
}

VREADER_EXPORT std::int16_t ACR120_CALL ACR120_Open(std::int16_t portIndex, std::int16_t) {
    return vreader::lib::Open(kVariant, portIndex);
}

VREADER_EXPORT std::int16_t ACR120_CALL ACR120_Close(std::int16_t handle) {
    return vreader::lib::Close(kVariant, handle);
}

VREADER_EXPORT std::int16_t ACR120_CALL ACR120_GetID(std::int16_t handle, std::uint8_t* count,
                                                     std::uint8_t* stationList) {
    return vreader::lib::GetId(kVariant, handle, count, stationList);
}

VREADER_EXPORT std::int16_t ACR120_CALL ACR120_ListTag(std::int16_t handle, std::uint8_t station,
                                                       std::uint8_t* count, std::uint32_t* typeFlag,
                                                       std::uint8_t* tagTypes,
                                                       std::uint8_t* serials) {
    return vreader::lib::ListTags(kVariant, handle, Station(station), count, typeFlag, tagTypes,
                                  nullptr, serials);
}

VREADER_EXPORT std::int16_t ACR120_CALL ACR120_Select(std::int16_t handle, std::uint8_t station,
                                                      std::uint8_t* tagType,
                                                      std::uint8_t* tagLength,
                                                      std::uint8_t* serial) {
    return vreader::lib::Select(kVariant, handle, Station(station), tagType, tagLength, serial);
}

// `value` is the caller's request count (1); nothing comes back in it.
VREADER_EXPORT std::int16_t ACR120_CALL
ACR120_MultiTagSelect(std::int16_t handle, std::uint8_t station, std::uint8_t* serialToSelect,
                      std::uint32_t* /*value*/, std::uint8_t* tagType, std::uint8_t* serialOut) {
    return vreader::lib::MultiTagSelect(kVariant, handle, Station(station), 0, serialToSelect,
                                        tagType, nullptr, serialOut);
}

VREADER_EXPORT std::int16_t ACR120_CALL ACR120_WriteMasterKey(std::int16_t handle,
                                                              std::uint8_t station,
                                                              std::uint8_t keySlot,
                                                              std::uint8_t* key) {
    return vreader::lib::WriteMasterKey(kVariant, handle, Station(station), keySlot, key);
}

VREADER_EXPORT std::int16_t ACR120_CALL ACR120_Login(std::int16_t handle, std::uint8_t station,
                                                     std::uint8_t sector, std::uint8_t keyMode,
                                                     std::int32_t keySlot, std::uint8_t* key) {
    return vreader::lib::Login(kVariant, handle, Station(station), sector, keyMode, keySlot, key);
}

VREADER_EXPORT std::int16_t ACR120_CALL ACR120_Read(std::int16_t handle, std::uint8_t station,
                                                    std::uint8_t block, std::uint8_t* data) {
    return vreader::lib::Read(kVariant, handle, Station(station), block, data);
}

VREADER_EXPORT std::int16_t ACR120_CALL ACR120_Write(std::int16_t handle, std::uint8_t station,
                                                     std::uint8_t block, std::uint8_t* data) {
    return vreader::lib::Write(kVariant, handle, Station(station), block, data);
}

VREADER_EXPORT std::int16_t ACR120_CALL ACR120_ReadValue(std::int16_t handle, std::uint8_t station,
                                                         std::uint8_t block, std::int32_t* value) {
    return vreader::lib::ReadValue(kVariant, handle, Station(station), block, value);
}

VREADER_EXPORT std::int16_t ACR120_CALL ACR120_WriteValue(std::int16_t handle, std::uint8_t station,
                                                          std::uint8_t block, std::int32_t value) {
    return vreader::lib::WriteValue(kVariant, handle, Station(station), block, value);
}

VREADER_EXPORT std::int16_t ACR120_CALL ACR120_Inc(std::int16_t handle, std::uint8_t station,
                                                   std::uint8_t block, std::int32_t amount,
                                                   std::int32_t* newValue) {
    return vreader::lib::Increment(kVariant, handle, Station(station), block, amount, newValue,
                                   true);
}

VREADER_EXPORT std::int16_t ACR120_CALL ACR120_Dec(std::int16_t handle, std::uint8_t station,
                                                   std::uint8_t block, std::int32_t amount,
                                                   std::int32_t* newValue) {
    return vreader::lib::Increment(kVariant, handle, Station(station), block, amount, newValue,
                                   false);
}

VREADER_EXPORT std::int16_t ACR120_CALL ACR120_ReadEEPROM(std::int16_t handle, std::uint8_t station,
                                                          std::uint8_t reg, std::uint8_t* value) {
    return vreader::lib::ReadEeprom(kVariant, handle, Station(station), reg, value);
}

VREADER_EXPORT std::int16_t ACR120_CALL ACR120_WriteEEPROM(std::int16_t handle,
                                                           std::uint8_t station, std::uint8_t reg,
                                                           std::uint8_t value) {
    return vreader::lib::WriteEeprom(kVariant, handle, Station(station), reg, value);
}

VREADER_CHECK_SHARED_EXPORTS(acr120::serial);
static_assert(VREADER_EXPORT_HAS_TYPE(acr120::serial, GetID));
static_assert(VREADER_EXPORT_HAS_TYPE(acr120::serial, ListTag));
