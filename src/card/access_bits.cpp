#include "card/access_bits.h"

#include <algorithm>

namespace mifare {

namespace {

// The 4-bit number whose bit i is bit `bit` of condition i.
std::uint8_t Nibble(const std::array<std::uint8_t, 4>& conditions, int bit) {
    std::uint8_t nibble = 0;
    for (int i = 0; i < 4; ++i) {
        if ((conditions[static_cast<std::size_t>(i)] >> bit) & 1) {
            nibble = static_cast<std::uint8_t>(nibble | (1 << i));
        }
    }
    return nibble;
}

std::uint8_t Inverted(std::uint8_t nibble) {
    return static_cast<std::uint8_t>(~nibble & 0x0F);
}

}  // namespace

AccessBytes ComposeAccessBytes(std::uint8_t c0, std::uint8_t c1, std::uint8_t c2, std::uint8_t c3) {
    const std::array<std::uint8_t, 4> conditions{c0, c1, c2, c3};
    // C1 is the high bit of a condition, C3 the low one.
    const std::uint8_t n1 = Nibble(conditions, 2);
    const std::uint8_t n2 = Nibble(conditions, 1);
    const std::uint8_t n3 = Nibble(conditions, 0);
    return {
        static_cast<std::uint8_t>(Inverted(n2) << 4 | Inverted(n1)),
        static_cast<std::uint8_t>(n1 << 4 | Inverted(n3)),
        static_cast<std::uint8_t>(n3 << 4 | n2),
    };
}

std::optional<std::array<std::uint8_t, 4>> DecodeAccessBytes(const std::uint8_t* accessBytes) {
    const std::uint8_t n1 = accessBytes[0] & 0x0F;  // inverted
    const std::uint8_t n2 = accessBytes[0] >> 4;    // inverted
    const std::uint8_t n3 = accessBytes[1] & 0x0F;  // inverted
    const std::uint8_t c1 = accessBytes[1] >> 4;
    const std::uint8_t c3 = accessBytes[2] >> 4;
    const std::uint8_t c2 = accessBytes[2] & 0x0F;
    if (Inverted(c1) != n1 || Inverted(c2) != n2 || Inverted(c3) != n3) {
        return std::nullopt;
    }
    std::array<std::uint8_t, 4> conditions{};
    for (int i = 0; i < 4; ++i) {
        conditions[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(
            ((c1 >> i) & 1) << 2 | ((c2 >> i) & 1) << 1 | ((c3 >> i) & 1));
    }
    return conditions;
}

bool KeyAMayWriteData(std::uint8_t condition) {
    return (condition & 7) == 0;
}

bool KeyAMayWriteKeyA(std::uint8_t trailerCondition) {
    return (trailerCondition & 7) <= 1;
}

TrailerImage ComposeTrailer(const std::uint8_t* keyA, const AccessBytes& access,
                            const std::uint8_t* keyB) {
    TrailerImage trailer{};
    std::copy_n(keyA, 6, trailer.begin());
    std::copy(access.begin(), access.end(), trailer.begin() + 6);
    trailer[9] = kTrailerSpareByte;
    std::copy_n(keyB, 6, trailer.begin() + 10);
    return trailer;
}

}  // namespace mifare
