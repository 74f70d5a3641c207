// The exported functions of the USB reader library: the virtual readers of the
// state folder and the readers of the PC/SC service, under one numbering
// (port_dispatch.h). TAGQUILL_PCSC=0 (or off) leaves the PC/SC readers out. The
// engines guard their own calls; the numbering's own work (its table and mutex) is
// guarded here, without holding cancellation off a second time.

#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/state.h"
#include "lib/c_boundary.h"
#include "lib/exports.h"
#include "reader/acr120_api.h"
#include "usb/port_dispatch.h"
#include "usb/usb_engine.h"

namespace {

using vreader::lib::CatchAtCBoundary;
using vreader::usb::UsbEngine;

vreader::usb::PortDispatch gDispatch;

vreader::usb::Engines CurrentEngines() {
    const char* pcsc = std::getenv(vreader::state::kPcscEnvVar);
    const bool pcscOff =
        pcsc != nullptr && (std::string(pcsc) == "0" || std::string(pcsc) == "off");
    return {&vreader::usb::VirtualEngine(), pcscOff ? nullptr : vreader::usb::PcscEngine()};
}

}  // namespace

VREADER_EXPORT std::int16_t ACR120_CALL Tagquill_ListPorts(std::uint8_t* portIndexes,
                                                           std::uint8_t room) {
    return CatchAtCBoundary(
        [&] { return gDispatch.ListPorts(CurrentEngines(), portIndexes, room); });
}

VREADER_EXPORT std::int16_t ACR120_CALL ACR120_Open(std::int16_t portIndex) {
    return CatchAtCBoundary([&] { return gDispatch.Open(CurrentEngines(), portIndex); });
}

VREADER_EXPORT std::int16_t ACR120_CALL ACR120_Close(std::int16_t handle) {
    return CatchAtCBoundary([&] { return gDispatch.Close(handle); });
}

VREADER_EXPORT std::int16_t ACR120_CALL ACR120_ListTags(std::int16_t handle, std::uint8_t* count,
                                                        std::uint8_t* tagTypes,
                                                        std::uint8_t* lengths,
                                                        std::uint8_t* serials) {
    return CatchAtCBoundary([&] {
        return gDispatch.Call(handle, &UsbEngine::listTags, count, tagTypes, lengths, serials);
    });
}

VREADER_EXPORT std::int16_t ACR120_CALL
ACR120_MultiTagSelect(std::int16_t handle, std::uint8_t length, std::uint8_t* serial,
                      std::uint8_t* tagTypeOut, std::uint8_t* lengthOut, std::uint8_t* serialOut) {
    return CatchAtCBoundary([&] {
        return gDispatch.Call(handle, &UsbEngine::multiTagSelect, length, serial, tagTypeOut,
                              lengthOut, serialOut);
    });
}

VREADER_EXPORT std::int16_t ACR120_CALL ACR120_Select(std::int16_t handle, std::uint8_t* tagType,
                                                      std::uint8_t* tagLength,
                                                      std::uint8_t* serial) {
    return CatchAtCBoundary(
        [&] { return gDispatch.Call(handle, &UsbEngine::select, tagType, tagLength, serial); });
}

VREADER_EXPORT std::int16_t ACR120_CALL ACR120_WriteMasterKey(std::int16_t handle,
                                                              std::uint8_t keySlot,
                                                              std::uint8_t* key) {
    return CatchAtCBoundary(
        [&] { return gDispatch.Call(handle, &UsbEngine::writeMasterKey, keySlot, key); });
}

VREADER_EXPORT std::int16_t ACR120_CALL ACR120_Login(std::int16_t handle, std::uint8_t sector,
                                                     std::uint8_t keyMode, std::int32_t keySlot,
                                                     std::uint8_t* key) {
    return CatchAtCBoundary(
        [&] { return gDispatch.Call(handle, &UsbEngine::login, sector, keyMode, keySlot, key); });
}

VREADER_EXPORT std::int16_t ACR120_CALL ACR120_Read(std::int16_t handle, std::uint8_t block,
                                                    std::uint8_t* data) {
    return CatchAtCBoundary([&] { return gDispatch.Call(handle, &UsbEngine::read, block, data); });
}

VREADER_EXPORT std::int16_t ACR120_CALL ACR120_Write(std::int16_t handle, std::uint8_t block,
                                                     std::uint8_t* data) {
    return CatchAtCBoundary([&] { return gDispatch.Call(handle, &UsbEngine::write, block, data); });
}

VREADER_EXPORT std::int16_t ACR120_CALL ACR120_ReadValue(std::int16_t handle, std::uint8_t block,
                                                         std::int32_t* value) {
    return CatchAtCBoundary(
        [&] { return gDispatch.Call(handle, &UsbEngine::readValue, block, value); });
}

VREADER_EXPORT std::int16_t ACR120_CALL ACR120_WriteValue(std::int16_t handle, std::uint8_t block,
                                                          std::int32_t value) {
    return CatchAtCBoundary(
        [&] { return gDispatch.Call(handle, &UsbEngine::writeValue, block, value); });
}

VREADER_EXPORT std::int16_t ACR120_CALL ACR120_Inc(std::int16_t handle, std::uint8_t block,
                                                   std::int32_t amount, std::int32_t* newValue) {
    return CatchAtCBoundary(
        [&] { return gDispatch.Call(handle, &UsbEngine::inc, block, amount, newValue); });
}

VREADER_EXPORT std::int16_t ACR120_CALL ACR120_Dec(std::int16_t handle, std::uint8_t block,
                                                   std::int32_t amount, std::int32_t* newValue) {
    return CatchAtCBoundary(
        [&] { return gDispatch.Call(handle, &UsbEngine::dec, block, amount, newValue); });
}

VREADER_EXPORT std::int16_t ACR120_CALL ACR120_ReadEEPROM(std::int16_t handle, std::uint8_t reg,
                                                          std::uint8_t* value) {
    return CatchAtCBoundary(
        [&] { return gDispatch.Call(handle, &UsbEngine::readEeprom, reg, value); });
}

VREADER_EXPORT std::int16_t ACR120_CALL ACR120_WriteEEPROM(std::int16_t handle, std::uint8_t reg,
                                                           std::uint8_t value) {
    return CatchAtCBoundary(
        [&] { return gDispatch.Call(handle, &UsbEngine::writeEeprom, reg, value); });
}

VREADER_CHECK_SHARED_EXPORTS(acr120::usb);
static_assert(VREADER_EXPORT_HAS_TYPE(acr120::usb, ListTags));
