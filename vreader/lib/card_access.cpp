#include "lib/card_access.h"

#include <algorithm>
#include <cstring>

#include "reader/acr120_api.h"

namespace vreader::lib {

namespace rc = acr120::rc;
using card_model::Bytes;
using card_model::Key;

namespace {

constexpr int kTrailerGroup = 3;

std::size_t BlockOffset(int block) {
    return static_cast<std::size_t>(block) * card_model::kBlockSize;
}

int PageCount(const Bytes& image) {
    return static_cast<int>(image.size() / card_model::kPageSize);
}

}  // namespace

std::optional<std::array<int, 4>> SectorAccessConditions(const Bytes& image, int sector) {
    const std::size_t accessBits =
        BlockOffset(card_model::TrailerOfSector(sector)) + card_model::kAccessBytesOffset;
    return card_model::DecodeAccess(
        std::span(image).subspan(accessBits, card_model::kAccessBitsSize));
}

bool CardAcceptsKey(const Bytes& image, int sector, Key key, const KeyBytes& given) {
    if (image.size() != card_model::k1KSize && image.size() != card_model::k4KSize) {
        return false;
    }
    if (sector >= card_model::SectorCount(image.size())) {
        return false;
    }
    const auto conditions = SectorAccessConditions(image, sector);
    if (!conditions || (key == Key::kB && card_model::KeyBReadable((*conditions)[kTrailerGroup]))) {
        return false;
    }
    const std::uint8_t* stored =
        image.data() + BlockOffset(card_model::TrailerOfSector(sector)) +
        (key == Key::kA ? card_model::kKeyAOffset : card_model::kKeyBOffset);
    return std::equal(given.begin(), given.end(), stored);
}

std::int16_t ReachBlock(const ReaderSession& session, const Bytes& image, int block,
                        int* condition) {
    if (!session.authenticatedSector || block >= card_model::BlockCount(image.size()) ||
        card_model::SectorOfBlock(block) != *session.authenticatedSector) {
        return rc::kNotAuthorized;
    }
    const auto conditions = SectorAccessConditions(image, *session.authenticatedSector);
    if (!conditions) {
        return rc::kNotAuthorized;  // access bits broken since the login: the sector is dead
    }
    *condition = (*conditions)[card_model::GroupOfBlock(block)];
    return rc::kOk;
}

std::int16_t ReadClassicBlock(const Bytes& image, int block, int condition, Key key,
                              std::uint8_t* out) {
    const std::uint8_t* source = image.data() + BlockOffset(block);
    if (!card_model::IsTrailer(block)) {
        if (!card_model::DataRead(condition, key)) {
            return rc::kNotAuthorized;
        }
        std::memcpy(out, source, card_model::kBlockSize);
        return rc::kOk;
    }
    // Key A never leaves the card; key B only where it is readable.
    std::memset(out, 0, card_model::kBlockSize);
    if (card_model::TrailerAccessRead(condition, key)) {
        std::memcpy(out + card_model::kAccessBytesOffset, source + card_model::kAccessBytesOffset,
                    card_model::kAccessBytesSize);
    }
    if (card_model::TrailerKeyBRead(condition, key)) {
        std::memcpy(out + card_model::kKeyBOffset, source + card_model::kKeyBOffset,
                    card_model::kKeySize);
    }
    return rc::kOk;
}

bool WriteTrailer(std::span<std::uint8_t> trailer, const std::uint8_t* data, int condition,
                  Key key) {
    const bool keyA = card_model::TrailerKeyAWrite(condition, key);
    const bool accessBytes = card_model::TrailerAccessWrite(condition, key);
    const bool keyB = card_model::TrailerKeyBWrite(condition, key);
    if (keyA) {
        std::memcpy(trailer.data() + card_model::kKeyAOffset, data + card_model::kKeyAOffset,
                    card_model::kKeySize);
    }
    if (accessBytes) {
        std::memcpy(trailer.data() + card_model::kAccessBytesOffset,
                    data + card_model::kAccessBytesOffset, card_model::kAccessBytesSize);
    }
    if (keyB) {
        std::memcpy(trailer.data() + card_model::kKeyBOffset, data + card_model::kKeyBOffset,
                    card_model::kKeySize);
    }
    return keyA || accessBytes || keyB;
}

std::int16_t ReadFourPages(const Bytes& image, int page, std::uint8_t* out) {
    if (page >= PageCount(image)) {
        return rc::kInvalidParameter;
    }
    for (std::size_t i = 0; i < card_model::kBlockSize; ++i) {
        out[i] = image[(page * card_model::kPageSize + i) % image.size()];
    }
    return rc::kOk;
}

std::int16_t WritePage(Bytes& image, int page, const std::uint8_t* data) {
    if (page >= PageCount(image)) {
        return rc::kInvalidParameter;
    }
    if (page < static_cast<int>(card_model::kFirstDataPage)) {
        return rc::kNotAuthorized;
    }
    std::memcpy(image.data() + page * card_model::kPageSize, data, card_model::kPageSize);
    return rc::kOk;
}

}  // namespace vreader::lib
