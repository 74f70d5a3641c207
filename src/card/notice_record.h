#pragma once
// How the sequences lay the notice record over the data area so that a card taken
// away at any reader call leaves something the program can read and finish. One
// block write is the only step a MIFARE Classic card makes at once; everything
// here orders block writes so that each one leaves a whole notice behind it.
//
// Every function takes a selected card with key A of key index 0 in the key cache.

#include <cstdint>
#include <span>

class CACR120Mifare;

namespace notice_record {

inline constexpr std::uint32_t kLengthFieldSize = 2;

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

// How many data blocks, from the first, the stored notice occupies: those of its
// record; for an empty notice, the first block and every block after it up to the
// first block of zeros, which is what an erase cut short (or a Save of an empty
// text) leaves behind; 0 when the first two blocks hold zeros only. A length no card
// can hold covers the whole data area. Starts with sector 0 authenticated.
std::uint32_t StoredRecordBlocks(CACR120Mifare& card);

// Writes zeros over the first `blocks` data blocks: the first one (the length)
// first, then the others last to first, so that a cut leaves an empty notice whose
// remaining old blocks StoredRecordBlocks still finds. Expects those sectors
// proven and sector 0 authenticated.
void ZeroBlocks(CACR120Mifare& card, std::uint32_t blocks);

}  // namespace notice_record
