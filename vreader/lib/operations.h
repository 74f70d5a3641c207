#pragma once
// The operations behind both library variants. The exported functions in
// acr120_virtual.cpp only adapt argument lists to these; reader_operations.cpp holds
// those of the reader itself, card_operations.cpp those that reach the selected card.
//
// Station: the serial variant passes the station it was given; the USB variant passes
// nullopt (it has none).

#include <cstdint>
#include <optional>

namespace vreader::lib {

using Station = std::optional<std::uint8_t>;

struct Variant {
    bool usb;
};

// The readers of this variant in the state folder, as 0-based port indexes.
std::int16_t ListPorts(Variant v, std::uint8_t* portIndexes, std::uint8_t room);
std::int16_t Open(Variant v, std::int16_t portIndex);
std::int16_t Close(Variant v, std::int16_t handle);
std::int16_t GetId(Variant v, std::int16_t handle, std::uint8_t* count, std::uint8_t* stations);
// Serial: typeFlag set, lengths null. USB: typeFlag null, lengths set.
std::int16_t ListTags(Variant v, std::int16_t handle, Station station, std::uint8_t* count,
                      std::uint32_t* typeFlag, std::uint8_t* types, std::uint8_t* lengths,
                      std::uint8_t* serials);
std::int16_t Select(Variant v, std::int16_t handle, Station station, std::uint8_t* type,
                    std::uint8_t* length, std::uint8_t* serial);
// `length` 0 (serial variant): the serial number's own length decides.
std::int16_t MultiTagSelect(Variant v, std::int16_t handle, Station station, std::uint8_t length,
                            const std::uint8_t* serial, std::uint8_t* typeOut,
                            std::uint8_t* lengthOut, std::uint8_t* serialOut);
std::int16_t WriteMasterKey(Variant v, std::int16_t handle, Station station, std::uint8_t slot,
                            const std::uint8_t* key);
std::int16_t Login(Variant v, std::int16_t handle, Station station, std::uint8_t sector,
                   std::uint8_t keyMode, std::int32_t slot, const std::uint8_t* key);
std::int16_t Read(Variant v, std::int16_t handle, Station station, std::uint8_t block,
                  std::uint8_t* data);
std::int16_t Write(Variant v, std::int16_t handle, Station station, std::uint8_t block,
                   const std::uint8_t* data);
std::int16_t ReadValue(Variant v, std::int16_t handle, Station station, std::uint8_t block,
                       std::int32_t* value);
std::int16_t WriteValue(Variant v, std::int16_t handle, Station station, std::uint8_t block,
                        std::int32_t value);
std::int16_t Increment(Variant v, std::int16_t handle, Station station, std::uint8_t block,
                       std::int32_t amount, std::int32_t* newValue, bool up);
std::int16_t ReadEeprom(Variant v, std::int16_t handle, Station station, std::uint8_t reg,
                        std::uint8_t* value);
std::int16_t WriteEeprom(Variant v, std::int16_t handle, Station station, std::uint8_t reg,
                         std::uint8_t value);

}  // namespace vreader::lib
