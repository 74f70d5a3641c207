#pragma once
// The default block maps: the data blocks of a card in the order the linear data
// area runs through them. Block 0 (manufacturer) and the trailers are left out.
// Cards written by earlier versions rely on this exact order.

#include <array>
#include <cstdint>
#include <span>

#include "card/mifare_geometry.h"

namespace mifare {

extern const std::array<std::uint8_t, kDataBlockCount1K> kDefaultBlockMap1K;
// Begins with the 1K map, so the first 752 bytes of the data area lie in the same
// blocks on both card types.
extern const std::array<std::uint8_t, kDataBlockCount4K> kDefaultBlockMap4K;

// The default map of a card type; empty for a type that is no storage card.
std::span<const std::uint8_t> DefaultBlockMap(std::uint16_t cardType);

}  // namespace mifare
