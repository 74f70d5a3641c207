#pragma once
// What the card lets an authenticated reader do: the access conditions of its sectors,
// key checks at login, and the parts of a block a read shows or a write changes.

#include <array>
#include <cstdint>
#include <optional>
#include <span>

#include "core/mifare.h"
#include "lib/reader_session.h"

namespace vreader::lib {

using KeyBytes = std::array<std::uint8_t, card_model::kKeySize>;

// Conditions of the sector's data groups 0..2 and its trailer (3); nullopt when the
// access bits are broken, which leaves the sector dead.
std::optional<std::array<int, 4>> SectorAccessConditions(const card_model::Bytes& image,
                                                         int sector);

// Whether the card lets this key authenticate to the sector.
bool CardAcceptsKey(const card_model::Bytes& image, int sector, card_model::Key key,
                    const KeyBytes& given);

// Checks that `block` lies in the sector the session authenticated to; gives the
// block's access condition.
std::int16_t ReachBlock(const ReaderSession& session, const card_model::Bytes& image, int block,
                        int* condition);

// A Classic block as the card answers a read of it (a trailer with the keys it keeps
// to itself blanked); `out` takes a block.
std::int16_t ReadClassicBlock(const card_model::Bytes& image, int block, int condition,
                              card_model::Key key, std::uint8_t* out);
// Writes the parts of the trailer the key may write and keeps the rest; false when it
// may write none.
bool WriteTrailer(std::span<std::uint8_t> trailer, const std::uint8_t* data, int condition,
                  card_model::Key key);

// The 7-byte tag: a read answers four pages from `page` on, wrapping round; a write
// changes one page.
std::int16_t ReadFourPages(const card_model::Bytes& image, int page, std::uint8_t* out);
std::int16_t WritePage(card_model::Bytes& image, int page, const std::uint8_t* data);

}  // namespace vreader::lib
