#include "card/acr120_mifare.h"

#include <algorithm>
#include <array>
#include <bitset>
#include <new>

#include "card/access_bits.h"
#include "card/block_maps.h"
#include "errors/atl_exception.h"
#include "errors/coded_exception.h"
#include "errors/mifare_exception.h"
#include "reader/reader_error.h"

namespace {

// A 1K or a 4K card's figure; a card of another type has none of either.
std::uint8_t ByCardType(std::uint16_t cardType, std::uint8_t for1K, std::uint8_t for4K) {
    switch (cardType) {
        case kCardTypeMifare1K:
            return for1K;
        case kCardTypeMifare4K:
            return for4K;
        default:
            return 0;
    }
}

// Walks bytes [offset, offset + length) of the mapped data area block by block, in
// order: `part(block, position in the block, byte count, bytes done before it)`.
template <typename Part>
void ForEachBlockPart(const std::uint8_t* map, std::uint32_t offset, std::uint32_t length,
                      Part&& part) {
    std::uint32_t done = 0;
    while (done < length) {
        const std::uint8_t block = map[offset / mifare::kBlockSize];
        const std::uint32_t position = offset % mifare::kBlockSize;
        const std::uint32_t n =
            std::min<std::uint32_t>(mifare::kBlockSize - position, length - done);
        part(block, position, n, done);
        offset += n;
        done += n;
    }
}

[[noreturn]] void ThrowCoded(CodedError code) {
    throw CCodedException(code, kSourceMifare);
}

// Growing a buffer reports lack of memory the way the string utilities do.
template <typename Grow>
void GrowBuffer(Grow&& grow) {
    try {
        grow();
    } catch (const std::bad_alloc&) {
        AtlThrow(kEOutOfMemory);
    }
}

}  // namespace

CACR120Mifare::CACR120Mifare(PresenceMonitorFactory makeMonitor) : CACR120Base(makeMonitor) {}

CACR120Mifare::CACR120Mifare(const platform::ModuleRef& module, PresenceMonitorFactory makeMonitor,
                             LibraryLoading loading)
    : CACR120Base(module, makeMonitor, loading) {}

void CACR120Mifare::ForgetLogin() {
    lastKeyType_ = 0xFF;
    lastKeyIndex_ = 0xFF;
    authenticatedSector_ = kNoSector;
    storedKeyLogin_ = false;
}

void CACR120Mifare::ConnectCard() {
    CACR120Base::ConnectCard();
    if (card_.cardType != kCardTypeMifare1K && card_.cardType != kCardTypeMifare4K) {
        DisconnectCard();
        ThrowCoded(kErrUnsupportedTokenType);
    }
    ForgetLogin();
}

void CACR120Mifare::CheckCardConnected() const {
    // Only this thread writes the flag, so reading it needs no lock.
    if (!cardConnected_) {
        throw CCodedException(kErrCardNotConnected, kSourceReaderBase);
    }
}

std::uint16_t CACR120Mifare::GetCardType() const {
    CheckCardConnected();
    return card_.cardType;
}

std::uint8_t CACR120Mifare::GetSectorCount() const {
    return ByCardType(GetCardType(), mifare::kSectorCount1K, mifare::kSectorCount4K);
}

std::uint8_t CACR120Mifare::GetDataBlockCount() const {
    return ByCardType(GetCardType(), mifare::kDataBlockCount1K, mifare::kDataBlockCount4K);
}

std::uint8_t CACR120Mifare::GetFirstBlock(std::uint8_t sector) {
    if (!mifare::IsSectorNumber(sector)) {
        ThrowCoded(kErrInvalidParameter);
    }
    return mifare::FirstBlockOfSector(sector);
}

void CACR120Mifare::Login(std::uint8_t sector, bool storedKey, std::uint8_t keyType,
                          std::uint8_t keyIndex) {
    CheckCardConnected();
    if (keyType != kKeyTypeA && keyType != kKeyTypeB) {
        ThrowCoded(kErrInvalidParameter);
    }
    if (keyIndex >= kKeyIndexCount) {
        ThrowCoded(kErrInvalidParameter);
    }
    // The login sector number of a sector the card lacks would name some other
    // sector, or one that does not exist at all.
    if (sector >= GetSectorCount()) {
        ThrowCoded(kErrInvalidParameter);
    }
    const std::uint8_t loginSector = mifare::LoginSectorNumber(sector);
    const bool keyB = keyType == kKeyTypeB;
    const std::uint8_t keySlot = KeySlot(keyIndex, keyType);
    std::uint8_t* key = storedKey ? nullptr : keyCache_[keySlot].data();

    // The card forgets an authentication after a failed command, so it is
    // selected again before every login.
    IReaderPort& port = *Port();
    CheckReaderResult(port.Reselect(card_));
    CheckReaderResult(port.Login(loginSector, keyB, keySlot, key));

    authenticatedSector_ = sector;
    storedKeyLogin_ = storedKey;
    lastKeyType_ = keyType;
    lastKeyIndex_ = keyIndex;
}

void CACR120Mifare::CheckInAuthenticatedSector(std::uint8_t block) const {
    if (mifare::SectorOfBlock(block) != authenticatedSector_) {
        ThrowCoded(kErrTokenAccessDenied);
    }
}

void CACR120Mifare::ReadBlock(std::uint8_t block) {
    CheckCardConnected();
    CheckInAuthenticatedSector(block);
    GrowBuffer([this] { readBuffer_.resize(mifare::kBlockSize); });
    const std::int16_t result = Port()->ReadBlock(block, readBuffer_.data());
    CheckReaderResult(result);
}

void CACR120Mifare::WriteBlock(std::uint8_t block, const std::uint8_t* data) {
    CheckCardConnected();
    CheckInAuthenticatedSector(block);
    if (data == nullptr) {
        ThrowCoded(kErrInvalidParameter);
    }
    // The library takes a writable pointer; it never gets the caller's buffer.
    std::array<std::uint8_t, mifare::kBlockSize> image{};
    std::copy_n(data, image.size(), image.begin());
    IReaderPort& port = *Port();
    const std::int16_t result = port.WriteBlock(block, image.data());
    if (result < 0 && mifare::IsTrailer(block) && port.IsTrailerReadBackError(result)) {
        return;
    }
    CheckReaderResult(result);
}

void CACR120Mifare::WriteTrailer(std::uint8_t sector, const std::uint8_t* keyA,
                                 const std::uint8_t* keyB, std::uint8_t c0, std::uint8_t c1,
                                 std::uint8_t c2, std::uint8_t c3) {
    if (keyA == nullptr || keyB == nullptr) {
        ThrowCoded(kErrInvalidParameter);
    }
    const mifare::TrailerImage trailer =
        mifare::ComposeTrailer(keyA, mifare::ComposeAccessBytes(c0, c1, c2, c3), keyB);
    WriteBlock(GetTrailerBlock(GetFirstBlock(sector)), trailer.data());
}

void CACR120Mifare::CheckBlockMap(const std::uint8_t* map, std::uint8_t count) const {
    if (count != 0 && map == nullptr) {
        ThrowCoded(kErrInvalidParameter);
    }
    if (count > GetDataBlockCount()) {
        ThrowCoded(kErrInvalidParameter);
    }
    if (map == nullptr) {
        return;
    }
    const std::uint8_t sectorCount = GetSectorCount();
    for (std::uint8_t i = 0; i < count; ++i) {
        const std::uint8_t block = map[i];
        if (block == 0 || mifare::SectorOfBlock(block) >= sectorCount || mifare::IsTrailer(block)) {
            ThrowCoded(kErrInvalidParameter);
        }
    }
    // A repeated block would lay two parts of the range over the same bytes.
    std::bitset<256> seen;
    for (std::uint8_t i = 0; i < count; ++i) {
        if (seen.test(map[i])) {
            ThrowCoded(kErrInvalidParameter);
        }
        seen.set(map[i]);
    }
}

const std::uint8_t* CACR120Mifare::ResolveMap(const std::uint8_t* map, std::uint8_t& count) const {
    if (count != 0) {
        return map;
    }
    const std::span<const std::uint8_t> defaultMap = mifare::DefaultBlockMap(card_.cardType);
    if (defaultMap.empty()) {
        ThrowCoded(kErrUnsupportedTokenType);
    }
    count = static_cast<std::uint8_t>(defaultMap.size());
    return defaultMap.data();
}

void CACR120Mifare::CheckRange(std::uint8_t count, std::uint32_t offset,
                               std::uint32_t length) const {
    // 64-bit sums: a huge offset must not wrap round into the map.
    const std::uint64_t end = std::uint64_t{offset} + length;
    if (end > std::uint64_t{count} * mifare::kBlockSize) {
        ThrowCoded(kErrInvalidParameter);
    }
}

void CACR120Mifare::EnsureAuthenticated(std::uint8_t block) {
    const std::uint8_t sector = mifare::SectorOfBlock(block);
    if (sector != authenticatedSector_) {
        Login(sector, storedKeyLogin_, lastKeyType_, lastKeyIndex_);
    }
}

void CACR120Mifare::ReadData(const std::uint8_t* map, std::uint8_t count, std::uint32_t offset,
                             std::uint32_t length) {
    CheckCardConnected();
    CheckBlockMap(map, count);
    if (authenticatedSector_ == kNoSector) {
        ThrowCoded(kErrTokenAccessDenied);
    }
    map = ResolveMap(map, count);
    CheckRange(count, offset, length);

    std::vector<std::uint8_t> result;
    GrowBuffer([&] { result.resize(length); });
    ForEachBlockPart(
        map, offset, length,
        [&](std::uint8_t block, std::uint32_t position, std::uint32_t n, std::uint32_t done) {
            EnsureAuthenticated(block);
            ReadBlock(block);
            std::copy_n(readBuffer_.begin() + position, n, result.begin() + done);
        });
    readBuffer_ = std::move(result);
}

void CACR120Mifare::WriteData(const std::uint8_t* map, std::uint8_t count, std::uint32_t offset,
                              const std::uint8_t* data, std::uint32_t length) {
    CheckCardConnected();
    CheckBlockMap(map, count);
    if (length != 0 && data == nullptr) {
        ThrowCoded(kErrInvalidParameter);
    }
    if (authenticatedSector_ == kNoSector) {
        ThrowCoded(kErrTokenAccessDenied);
    }
    map = ResolveMap(map, count);
    CheckRange(count, offset, length);

    ForEachBlockPart(
        map, offset, length,
        [&](std::uint8_t block, std::uint32_t position, std::uint32_t n, std::uint32_t done) {
            EnsureAuthenticated(block);
            std::array<std::uint8_t, mifare::kBlockSize> image{};
            const std::uint8_t* source = data + done;
            if (n < mifare::kBlockSize) {
                // Only a block the range starts or ends inside is read first; the
                // rest of its bytes must survive.
                ReadBlock(block);
                std::copy_n(readBuffer_.begin(), image.size(), image.begin());
                std::copy_n(source, n, image.begin() + position);
                source = image.data();
            }
            if (mifare::IsTrailer(block)) {
                throw CMifareException(kMifareTrailerWriteRefused, kSourceMifare);
            }
            WriteBlock(block, source);
        });
}
