#pragma once
// How the sequences lay the notice record over the data area so that a card taken
// away at any reader call leaves something the program can read and finish. One
// block write is the only step a MIFARE Classic card makes at once; everything
// here orders block writes so that each one leaves a whole notice behind it.
//
// Every function takes a selected card with key A of kNoticeKeyIndex in the key cache.

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "card/notice_text.h"

class CACR120Mifare;

namespace notice_record {

// The key cache slot every notice sequence keeps its key A in.
inline constexpr std::uint8_t kNoticeKeyIndex = 0;

// Largest text length of the selected card: 750 or 3438.
std::uint16_t Capacity(const CACR120Mifare& card);

// The number of data blocks that bytes [0, size) of the data area lie in.
std::uint32_t BlocksOf(std::uint32_t size);

// Logs in to every sector the first `blocks` data blocks lie in, last to first,
// so that a key that does not open one of them fails before anything is written
// and the card is left authenticated on sector 0.
void ProveSectors(CACR120Mifare& card, std::uint32_t blocks);

// Writes `record` at the start of the data area. A record longer than one block
// goes out with a zero length first and its real length last, so that a cut in
// between leaves an empty notice and never old text behind a new length.
// Expects every sector of the record proven and sector 0 authenticated.
void WriteRecord(CACR120Mifare& card, std::span<const std::uint8_t> record);

// The record a card holds, as an erase sees it: the first data block (the length
// and the start of the text) and how many data blocks the record occupies. A
// length no card can hold is not ours: only its two bytes are ever erased.
struct StoredRecord {
    std::array<std::uint8_t, 16> lengthBlock{};
    std::uint32_t blocks = 1;
    bool ours = true;

    std::uint32_t Length() const { return notice_text::LengthField(lengthBlock.data()); }
    // The last sector a write of the erase reaches.
    std::uint8_t LastSector(const CACR120Mifare& card) const;
};

// Reads the first data block. Expects sector 0 authenticated.
StoredRecord ReadStoredRecord(CACR120Mifare& card);

// Data blocks (default map numbers) of the record that an erase writes, in the
// order it writes them: last to first, the length block last; none for an empty
// notice (the bytes behind its length belong to older ones).
std::vector<std::uint8_t> BlocksToErase(const CACR120Mifare& card, const StoredRecord& record);

// Writes zeros over those of `blocks` that lie in `sector` (or every one, for
// sector kEverySector), in their order; the length block of a record that is not
// ours keeps all but its length. Logs in to a block's sector when needed, with the
// key of the last login. A cut leaves the old length and the beginning of the old
// text, which a second erase finishes.
inline constexpr int kEverySector = -1;
void EraseBlocks(CACR120Mifare& card, const StoredRecord& record,
                 const std::vector<std::uint8_t>& blocks, int sector);

}  // namespace notice_record
