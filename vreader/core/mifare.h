#pragma once
// MIFARE Classic card model shared by the reader libraries, the control library and
// the CLI: geometry, access conditions and their rights, blank cards.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace vreader::card_model {

using Bytes = std::vector<std::uint8_t>;

inline constexpr std::size_t kBlockSize = 16;
inline constexpr std::size_t k1KSize = 1024;
inline constexpr std::size_t k4KSize = 4096;
// The 7-byte-UID tag: 16 pages of 4 bytes (UID0-2 BCC0 | UID3-6 | BCC1 int lock lock | OTP | data).
inline constexpr std::size_t kSevenByteSize = 64;
inline constexpr std::size_t kPageSize = 4;
// Pages 0-3 hold the UID, the lock bytes and the OTP bytes; data starts after them.
inline constexpr std::size_t kFirstDataPage = 4;

// A sector trailer: key A, the access bytes (three of access bits, then the
// general-purpose byte), key B.
inline constexpr std::size_t kKeySize = 6;
inline constexpr std::size_t kKeyAOffset = 0;
inline constexpr std::size_t kAccessBytesOffset = 6;
inline constexpr std::size_t kAccessBytesSize = 4;
inline constexpr std::size_t kAccessBitsSize = 3;
inline constexpr std::size_t kKeyBOffset = 10;
// A value block: the value three times, then the address byte and its copies.
inline constexpr std::size_t kValueAddressOffset = 12;

inline constexpr std::uint8_t kTag1K = 2;
inline constexpr std::uint8_t kTag4K = 3;
inline constexpr std::uint8_t kTagSevenByte = 5;

// Tag type for an image size; 0 when the size is no card.
std::uint8_t TagTypeOfSize(std::size_t size);
// 4 bytes for Classic images, 7 for the 7-byte tag, empty for anything else.
Bytes UidOf(std::span<const std::uint8_t> image);

int BlockCount(std::size_t imageSize);   // 64 or 256 for Classic images
int SectorCount(std::size_t imageSize);  // 16 or 40
int SectorOfBlock(int block);            // 0..39
int FirstBlockOfSector(int sector);
int BlocksInSector(int sector);  // 4 or 16
int TrailerOfSector(int sector);
bool IsTrailer(int block);
// Sector named by a login's sector argument: 0..31 as is, 32 + 4k (k = 0..7) for the
// 4K upper sectors 32..39 (first block / 4); nullopt for anything else.
std::optional<int> SectorOfLoginArgument(int argument);
// Data group (0..2) of a block within its sector; 3 for the trailer.
int GroupOfBlock(int block);

// Access conditions C1C2C3 (as C1*4 + C2*2 + C3) of groups 0..2 and the trailer (3);
// nullopt when the access bytes fail the inverted-nibble check.
std::optional<std::array<int, 4>> DecodeAccess(std::span<const std::uint8_t> accessBytes);
std::array<std::uint8_t, 3> EncodeAccess(const std::array<int, 4>& conditions);

enum class Key { kA, kB };

// Rights on a data block under condition c for an authenticated key.
bool DataRead(int c, Key key);
bool DataWrite(int c, Key key);
bool DataIncrement(int c, Key key);
bool DataDecrement(int c, Key key);  // decrement, transfer, restore

// Rights on the trailer's parts under condition c.
bool KeyBReadable(int c);  // then key B may not authenticate
bool TrailerKeyAWrite(int c, Key key);
bool TrailerAccessRead(int c, Key key);
bool TrailerAccessWrite(int c, Key key);
bool TrailerKeyBRead(int c, Key key);
bool TrailerKeyBWrite(int c, Key key);

// Human descriptions for the show command.
std::string DescribeDataCondition(int c);
std::string DescribeTrailerCondition(int c);

// Transport-configuration card of `size` bytes with this UID (4 or 7 bytes as the size
// requires; the caller checks).
Bytes BlankCard(std::size_t size, std::span<const std::uint8_t> uid);

// Value blocks: 4 bytes value, its inverse, value again, then address, ~address twice.
std::optional<std::int32_t> DecodeValue(std::span<const std::uint8_t> block);
void EncodeValue(std::int32_t value, std::uint8_t address, std::span<std::uint8_t> block);

}  // namespace vreader::card_model
