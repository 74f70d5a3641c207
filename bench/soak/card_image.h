#pragma once
// What the soak run reads out of a card image on its own, to hold the program to what
// it reports: the notice record, the data area and each sector's key A.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace soak {

using Bytes = std::vector<std::uint8_t>;
using Key = std::array<std::uint8_t, 6>;

// Data blocks in the order of the default block map: every block but 0 and the trailers.
std::vector<int> DataBlocks(std::size_t imageSize);
std::vector<int> Trailers(std::size_t imageSize);
std::size_t Capacity(std::size_t imageSize);  // 750 or 3438

// The notice as Load reads it: the length field (0 when beyond the capacity), the text
// cut at its first zero byte.
std::string Notice(const Bytes& image);
Key KeyA(const Bytes& image, int trailer);
void SetKeyA(Bytes& image, int trailer, const Key& key);
// The key bytes of an access key text of ASCII letters.
Key KeyOfText(const std::string& text);

// The data blocks the notice record of the image occupies: none for an empty notice
// (what lies behind its length is older) and for a length beyond the capacity.
std::size_t RecordBlocks(const Bytes& image);
// Nothing but the first `blockCount` data blocks differs.
bool OnlyFirstBlocksChanged(const Bytes& before, const Bytes& after, std::size_t blockCount);
bool FirstBlocksZero(const Bytes& image, std::size_t blockCount);
// What a Change ! to `newKey`, finished or not, did to the data area that it must not
// do, or nothing: only the old notice's blocks may change, to zeros, and a sector it
// moved to the new key holds none of the old notice.
std::string ChangeBrokeTheRecord(const Bytes& before, const Bytes& after, const Key& newKey);

}  // namespace soak
