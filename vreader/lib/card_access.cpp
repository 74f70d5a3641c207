#include "lib/card_access.h"

#include <algorithm>
#include <cstring>

#include "reader/acr120_api.h"

namespace vreader::lib {

namespace rc = acr120::rc;
using mifare::Bytes;
using mifare::Key;

namespace {

constexpr int kTrailerGroup = 3;

std::size_t BlockOffset(int block) {
    return static_cast<std::size_t>(block) * mifare::kBlockSize;
}

int PageCount(const Bytes& image) {
    return static_cast<int>(image.size() / mifare::kPageSize);
}

}  // namespace

std::optional<std::array<int, 4>> SectorAccessConditions(const Bytes& image, int sector) {
    const std::size_t accessBits =
        BlockOffset(mifare::TrailerOfSector(sector)) + mifare::kAccessBytesOffset;
    return mifare::DecodeAccess(std::span(image).subspan(accessBits, mifare::kAccessBitsSize));
}

bool CardAcceptsKey(const Bytes& image, int sector, Key key, const KeyBytes& given) {
    if (image.size() != mifare::k1KSize && image.size() != mifare::k4KSize) {
        return false;
    }
    if (sector >= mifare::SectorCount(image.size())) {
        return false;
    }
    const auto conditions = SectorAccessConditions(image, sector);
    if (!conditions || (key == Key::kB && mifare::KeyBReadable((*conditions)[kTrailerGroup]))) {
        return false;
    }
    const std::uint8_t* stored = image.data() + BlockOffset(mifare::TrailerOfSector(sector)) +
                                 (key == Key::kA ? mifare::kKeyAOffset : mifare::kKeyBOffset);
    return std::equal(given.begin(), given.end(), stored);
}

std::int16_t ReachBlock(const ReaderSession& session, const Bytes& image, int block,
                        int* condition) {
    if (!session.authenticatedSector || block >= mifare::BlockCount(image.size()) ||
        mifare::SectorOfBlock(block) != *session.authenticatedSector) {
        return rc::kNotAuthorized;
    }
    const auto conditions = SectorAccessConditions(image, *session.authenticatedSector);
    if (!conditions) {
        return rc::kNotAuthorized;  // access bits broken since the login: the sector is dead
    }
    *condition = (*conditions)[mifare::GroupOfBlock(block)];
    return rc::kOk;
}

std::int16_t ReadClassicBlock(const Bytes& image, int block, int condition, Key key,
                              std::uint8_t* out) {
    const std::uint8_t* source = image.data() + BlockOffset(block);
    if (!mifare::IsTrailer(block)) {
        if (!mifare::DataRead(condition, key)) {
            return rc::kNotAuthorized;
        }
        std::memcpy(out, source, mifare::kBlockSize);
        return rc::kOk;
    }
    // Key A never leaves the card; key B only where it is readable.
    std::memset(out, 0, mifare::kBlockSize);
    if (mifare::TrailerAccessRead(condition, key)) {
        std::memcpy(out + mifare::kAccessBytesOffset, source + mifare::kAccessBytesOffset,
                    mifare::kAccessBytesSize);
    }
    if (mifare::TrailerKeyBRead(condition, key)) {
        std::memcpy(out + mifare::kKeyBOffset, source + mifare::kKeyBOffset, mifare::kKeySize);
    }
    return rc::kOk;
}

bool WriteTrailer(std::span<std::uint8_t> trailer, const std::uint8_t* data, int condition,
                  Key key) {
    const bool keyA = mifare::TrailerKeyAWrite(condition, key);
    const bool accessBytes = mifare::TrailerAccessWrite(condition, key);
    const bool keyB = mifare::TrailerKeyBWrite(condition, key);
    if (keyA) {
        std::memcpy(trailer.data() + mifare::kKeyAOffset, data + mifare::kKeyAOffset,
                    mifare::kKeySize);
    }
    if (accessBytes) {
        std::memcpy(trailer.data() + mifare::kAccessBytesOffset, data + mifare::kAccessBytesOffset,
                    mifare::kAccessBytesSize);
    }
    if (keyB) {
        std::memcpy(trailer.data() + mifare::kKeyBOffset, data + mifare::kKeyBOffset,
                    mifare::kKeySize);
    }
    return keyA || accessBytes || keyB;
}

std::int16_t ReadFourPages(const Bytes& image, int page, std::uint8_t* out) {
    if (page >= PageCount(image)) {
        return rc::kInvalidParameter;
    }
    for (std::size_t i = 0; i < mifare::kBlockSize; ++i) {
        out[i] = image[(page * mifare::kPageSize + i) % image.size()];
    }
    return rc::kOk;
}

std::int16_t WritePage(Bytes& image, int page, const std::uint8_t* data) {
    if (page >= PageCount(image)) {
        return rc::kInvalidParameter;
    }
    if (page < static_cast<int>(mifare::kFirstDataPage)) {
        return rc::kNotAuthorized;
    }
    std::memcpy(image.data() + page * mifare::kPageSize, data, mifare::kPageSize);
    return rc::kOk;
}

}  // namespace vreader::lib
