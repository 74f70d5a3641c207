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

// After a failed Save of `record`: every block of the record's range holds either its old
// or its new content, the new ones a prefix (blocks are written in order), and nothing
// else changed.
bool IsPartialSave(const Bytes& before, const Bytes& after, const Bytes& record);

}  // namespace soak
