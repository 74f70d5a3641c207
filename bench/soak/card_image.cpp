#include "card_image.h"

#include <algorithm>

namespace soak {

namespace {

constexpr std::size_t kBlock = 16;

bool IsTrailer(int block) {
    return block < 128 ? (block | 3) == block : (block | 15) == block;
}

}  // namespace

std::vector<int> DataBlocks(std::size_t imageSize) {
    std::vector<int> blocks;
    for (int block = 1; static_cast<std::size_t>(block) * kBlock < imageSize; ++block) {
        if (!IsTrailer(block)) {
            blocks.push_back(block);
        }
    }
    return blocks;
}

std::vector<int> Trailers(std::size_t imageSize) {
    std::vector<int> trailers;
    for (int block = 0; static_cast<std::size_t>(block) * kBlock < imageSize; ++block) {
        if (IsTrailer(block)) {
            trailers.push_back(block);
        }
    }
    return trailers;
}

std::size_t Capacity(std::size_t imageSize) {
    return DataBlocks(imageSize).size() * kBlock - 2;
}

std::string Notice(const Bytes& image) {
    Bytes area;
    for (int block : DataBlocks(image.size())) {
        area.insert(area.end(), image.begin() + block * 16, image.begin() + block * 16 + 16);
    }
    std::size_t length = static_cast<std::size_t>(area[0] | area[1] << 8);
    if (length > Capacity(image.size())) {
        length = 0;
    }
    const auto begin = area.begin() + 2;
    return std::string(begin, std::find(begin, begin + static_cast<long>(length), 0));
}

Key KeyA(const Bytes& image, int trailer) {
    Key key;
    std::copy_n(image.begin() + trailer * 16, key.size(), key.begin());
    return key;
}

void SetKeyA(Bytes& image, int trailer, const Key& key) {
    std::copy(key.begin(), key.end(), image.begin() + trailer * 16);
}

Key KeyOfText(const std::string& text) {
    Key key;
    key.fill(0xFF);
    std::copy_n(text.begin(), std::min(text.size(), key.size()), key.begin());
    return key;
}

std::size_t RecordBlocks(const Bytes& image) {
    const int first = DataBlocks(image.size()).front();
    const std::size_t length =
        static_cast<std::size_t>(image[first * 16] | image[first * 16 + 1] << 8);
    return length == 0 || length > Capacity(image.size()) ? 0 : (length + 2 + kBlock - 1) / kBlock;
}

bool OnlyFirstBlocksChanged(const Bytes& before, const Bytes& after, std::size_t blockCount) {
    if (before.size() != after.size()) {
        return false;
    }
    const std::vector<int> blocks = DataBlocks(before.size());
    Bytes masked = after;
    for (std::size_t i = 0; i < std::min(blockCount, blocks.size()); ++i) {
        std::copy_n(before.begin() + blocks[i] * 16, 16, masked.begin() + blocks[i] * 16);
    }
    return masked == before;
}

bool FirstBlocksZero(const Bytes& image, std::size_t blockCount) {
    const std::vector<int> blocks = DataBlocks(image.size());
    for (std::size_t i = 0; i < std::min(blockCount, blocks.size()); ++i) {
        const auto at = image.begin() + blocks[i] * 16;
        if (std::any_of(at, at + 16, [](std::uint8_t b) { return b != 0; })) {
            return false;
        }
    }
    return true;
}

std::string ChangeBrokeTheRecord(const Bytes& before, const Bytes& after, const Key& newKey) {
    const std::vector<int> blocks = DataBlocks(before.size());
    const std::size_t record = RecordBlocks(before);
    const auto zero = [&](int block) {
        const auto at = after.begin() + block * 16;
        return std::all_of(at, at + 16, [](std::uint8_t b) { return b == 0; });
    };
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        const int block = blocks[i];
        const bool same = std::equal(after.begin() + block * 16, after.begin() + block * 16 + 16,
                                     before.begin() + block * 16);
        if (i >= record) {
            // Of a length no card can hold, only the length itself may go.
            const bool lengthOnly =
                i == 0 && record == 0 && after[block * 16] == 0 && after[block * 16 + 1] == 0 &&
                std::equal(after.begin() + block * 16 + 2, after.begin() + block * 16 + 16,
                           before.begin() + block * 16 + 2);
            if (!same && !lengthOnly) {
                return "changed a block outside the old notice";
            }
            continue;
        }
        if (!same && !zero(block)) {
            return "wrote something else than zeros over the old notice";
        }
        const int trailer = block < 128 ? (block | 3) : (block | 15);
        if (!zero(block) && KeyA(after, trailer) == newKey && KeyA(before, trailer) != newKey) {
            return "left the old notice in a sector on the new key";
        }
    }
    return {};
}

}  // namespace soak
