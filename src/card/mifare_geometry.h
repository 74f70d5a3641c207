#pragma once
// Block and sector numbering of Mifare Classic 1K and 4K cards. Sectors 0 to 31
// have 4 blocks each (blocks 0 to 127); sectors 32 to 39, on 4K cards only, have
// 16 blocks each (blocks 128 to 255). The last block of a sector is its trailer.

#include <cstdint>

namespace mifare {

inline constexpr int kBlockSize = 16;
inline constexpr std::uint8_t kLastSector = 39;
inline constexpr std::uint8_t kFirstLargeSector = 32;  // first 16-block sector
inline constexpr std::uint8_t kFirstLargeSectorBlock = 128;

inline constexpr std::uint8_t kSectorCount1K = 16;
inline constexpr std::uint8_t kSectorCount4K = 40;
inline constexpr std::uint8_t kDataBlockCount1K = 47;
inline constexpr std::uint8_t kDataBlockCount4K = 215;

constexpr std::uint8_t SectorOfBlock(std::uint8_t block) {
    return block < kFirstLargeSectorBlock ? static_cast<std::uint8_t>(block / 4)
                                          : static_cast<std::uint8_t>(block / 16 + 24);
}

constexpr std::uint8_t TrailerOfBlock(std::uint8_t block) {
    return block < kFirstLargeSectorBlock ? static_cast<std::uint8_t>(block | 0x03)
                                          : static_cast<std::uint8_t>(block | 0x0F);
}

constexpr bool IsTrailer(std::uint8_t block) {
    return TrailerOfBlock(block) == block;
}

constexpr bool IsSectorNumber(unsigned sector) {
    return sector <= kLastSector;
}

// Only for sector numbers 0 to 39 (IsSectorNumber); callers check first.
constexpr std::uint8_t FirstBlockOfSector(std::uint8_t sector) {
    // Both formulas give 128 for sector 32.
    return sector <= kFirstLargeSector ? static_cast<std::uint8_t>(sector * 4)
                                       : static_cast<std::uint8_t>((sector - 24) * 16);
}

constexpr std::uint8_t TrailerOfSector(std::uint8_t sector) {
    return TrailerOfBlock(FirstBlockOfSector(sector));
}

// The reader's login addresses a 16-block sector by the number a 4-block sector
// at its first block would have, so 33 becomes 36 and 39 becomes 60.
constexpr std::uint8_t LoginSectorNumber(std::uint8_t sector) {
    return static_cast<std::uint8_t>(FirstBlockOfSector(sector) / 4);
}

}  // namespace mifare
