#pragma once
// The contactless storage-card commands of the PC/SC standard (Get Data, Load
// Keys, General Authenticate, Read Binary, Update Binary), the card kind a
// reader announces in the ATR it makes up for a storage card, and the reader
// return codes that the commands' status words mean. No PC/SC calls here.

#include <cstdint>
#include <span>
#include <vector>

namespace pcsc {

using Bytes = std::vector<std::uint8_t>;

inline constexpr std::size_t kMifareKeySize = 6;
inline constexpr std::size_t kMifareBlockSize = 16;
// The reader's volatile key location that every login loads its key into.
inline constexpr std::uint8_t kVolatileKeyLocation = 0x00;

Bytes GetUidCommand();
Bytes LoadKeyCommand(const std::uint8_t* key);
Bytes AuthenticateCommand(std::uint8_t block, bool keyB);
Bytes ReadBinaryCommand(std::uint8_t block);
Bytes UpdateBinaryCommand(std::uint8_t block, const std::uint8_t* data);

enum class Command { kGetUid, kLoadKey, kAuthenticate, kRead, kUpdate };

// The reader return code for a response's status word (its last two bytes); a
// response too short to hold one is an unknown reader error.
std::int16_t CodeOfResponse(Command command, std::span<const std::uint8_t> response);

// The tag type of the library's listing for a card with this ATR and UID: the
// card name in the ATR's application identifier (MIFARE Classic 1K or 4K), else
// the 7-byte-UID tag by its UID length, else 0.
std::uint8_t TagTypeOfCard(std::span<const std::uint8_t> atr, std::size_t uidLength);

}  // namespace pcsc
