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

bool IsPartialSave(const Bytes& before, const Bytes& after, const Bytes& record) {
    if (before.size() != after.size()) {
        return false;
    }
    Bytes expectedNew = before;
    const std::vector<int> blocks = DataBlocks(before.size());
    const std::size_t touched = std::min(blocks.size(), (record.size() + kBlock - 1) / kBlock);
    for (std::size_t i = 0; i < record.size() && i / kBlock < blocks.size(); ++i) {
        expectedNew[static_cast<std::size_t>(blocks[i / kBlock]) * kBlock + i % kBlock] = record[i];
    }
    bool stillNew = true;
    for (std::size_t i = 0; i < touched; ++i) {
        const auto at = static_cast<long>(blocks[i]) * 16;
        const bool isOld =
            std::equal(after.begin() + at, after.begin() + at + 16, before.begin() + at);
        const bool isNew =
            std::equal(after.begin() + at, after.begin() + at + 16, expectedNew.begin() + at);
        if (!isOld && !isNew) {
            return false;
        }
        if (!isNew) {
            stillNew = false;
        } else if (!stillNew && !isOld) {
            return false;  // a new block after an old one
        }
    }
    // Outside the record's blocks nothing moves.
    Bytes masked = after;
    for (std::size_t i = 0; i < touched; ++i) {
        std::copy_n(before.begin() + blocks[i] * 16, 16, masked.begin() + blocks[i] * 16);
    }
    return masked == before;
}

}  // namespace soak
