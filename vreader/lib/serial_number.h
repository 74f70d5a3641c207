#pragma once
// A card's UID as the reader reports it: in a 10-byte serial number, zero-padded.

#include <cstdint>
#include <string>

#include "core/mifare.h"
#include "reader/acr120_api.h"

namespace vreader::lib {

inline constexpr std::size_t kSerialNumberSize = acr120::kSerialNumberSize;

void PutSerialNumber(const card_model::Bytes& uid, std::uint8_t* serialNumber);
std::string SerialNumberHex(const card_model::Bytes& uid);

}  // namespace vreader::lib
