#pragma once
// Bytes as hex text and back: serial numbers, keys and block data in traces, logs,
// dumps and on the command line, and error codes in error boxes.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ascii {

// Two upper-case digits a byte, no separator: {0x01, 0xAB} -> "01AB".
std::string HexText(const std::uint8_t* data, std::size_t size);
std::string HexText(const std::vector<std::uint8_t>& bytes);

// `value` in exactly `digits` upper-case digits: (0x2A, 4) -> "002A". Digits beyond
// `digits` are dropped, so a negative number cast to unsigned shows its bit pattern.
std::string HexNumber(std::uint64_t value, int digits);

bool IsHexDigit(char c);

// The bytes that `text` spells, two digits of either case a byte; nullopt for an odd
// number of characters or any character that is no hex digit.
std::optional<std::vector<std::uint8_t>> ParseHex(std::string_view text);

}  // namespace ascii
