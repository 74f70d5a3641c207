#pragma once
// Sector trailer composition. A trailer is key A (6 bytes), three access bytes,
// one spare byte (0x00 as this program writes it) and key B (6 bytes).
//
// An access condition is the 3-bit value C1*4 + C2*2 + C3 of the card's
// published access-bit layout; conditions 0 to 2 govern the sector's data
// groups, condition 3 the trailer itself. Each access byte holds the bits in
// plain and inverted form, so a card refuses a torn trailer write.

#include <array>
#include <cstdint>
#include <optional>

namespace mifare {

using AccessBytes = std::array<std::uint8_t, 3>;
using TrailerImage = std::array<std::uint8_t, 16>;

inline constexpr std::uint8_t kTrailerSpareByte = 0x00;

// Only the low 3 bits of each condition count.
AccessBytes ComposeAccessBytes(std::uint8_t c0, std::uint8_t c1, std::uint8_t c2, std::uint8_t c3);

// Conditions 0 to 3 from a trailer's access bytes; nothing when a plain bit and its
// inverted copy disagree, which leaves the sector unusable on a real card.
std::optional<std::array<std::uint8_t, 4>> DecodeAccessBytes(const std::uint8_t* accessBytes);

// What key A may do under a condition: write a data block (only under 0), and write
// key A into the trailer (0 and 1; under 0 the access bits themselves stay).
bool KeyAMayWriteData(std::uint8_t condition);
bool KeyAMayWriteKeyA(std::uint8_t trailerCondition);

TrailerImage ComposeTrailer(const std::uint8_t* keyA, const AccessBytes& access,
                            const std::uint8_t* keyB);

}  // namespace mifare
