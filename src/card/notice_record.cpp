#include "card/notice_record.h"

#include <algorithm>
#include <array>
#include <vector>

#include "card/acr120_mifare.h"
#include "card/block_maps.h"
#include "card/notice_file.h"

namespace notice_record {

namespace {

constexpr std::uint32_t kBlockSize = mifare::kBlockSize;
constexpr std::uint8_t kNoticeKeyIndex = 0;

bool AllZero(std::span<const std::uint8_t> bytes) {
    return std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b == 0; });
}

// Reads data block `index` of the default map; logs in on its own across sectors.
std::array<std::uint8_t, kBlockSize> ReadDataBlock(CACR120Mifare& card, std::uint32_t index) {
    card.ReadData(nullptr, 0, index * kBlockSize, kBlockSize);
    std::array<std::uint8_t, kBlockSize> block{};
    std::copy_n(card.ReadBuffer().begin(), kBlockSize, block.begin());
    return block;
}

void WriteDataBlock(CACR120Mifare& card, std::uint32_t index, const std::uint8_t* bytes) {
    card.WriteData(nullptr, 0, index * kBlockSize, bytes, kBlockSize);
}

}  // namespace

std::uint16_t Capacity(const CACR120Mifare& card) {
    return NoticeCapacity(card.GetCardType());
}

std::uint32_t BlocksOf(std::uint32_t size) {
    return (size + kBlockSize - 1) / kBlockSize;
}

void ProveSectors(CACR120Mifare& card, std::uint32_t blocks) {
    if (blocks == 0) {
        return;
    }
    const std::span<const std::uint8_t> map = mifare::DefaultBlockMap(card.GetCardType());
    const std::uint8_t lastSector = mifare::SectorOfBlock(map[blocks - 1]);
    for (std::uint8_t sector = lastSector; sector > 0; --sector) {
        card.Login(sector, false, kKeyTypeA, kNoticeKeyIndex);
    }
    if (card.AuthenticatedSector() != 0) {
        card.Login(0, false, kKeyTypeA, kNoticeKeyIndex);
    }
}

void WriteRecord(CACR120Mifare& card, std::span<const std::uint8_t> record) {
    const auto size = static_cast<std::uint32_t>(record.size());
    if (size <= kBlockSize) {
        card.WriteData(nullptr, 0, 0, record.data(), size);
        return;
    }
    std::array<std::uint8_t, kBlockSize> firstBlock{};
    std::copy_n(record.begin(), kBlockSize, firstBlock.begin());
    firstBlock[0] = 0;
    firstBlock[1] = 0;
    WriteDataBlock(card, 0, firstBlock.data());
    card.WriteData(nullptr, 0, kBlockSize, record.data() + kBlockSize, size - kBlockSize);
    WriteDataBlock(card, 0, record.data());
}

std::uint32_t StoredRecordBlocks(CACR120Mifare& card) {
    const std::array<std::uint8_t, kBlockSize> first = ReadDataBlock(card, 0);
    const std::uint32_t length = first[0] | first[1] << 8;
    const std::uint32_t dataBlocks = card.GetDataBlockCount();
    if (length > Capacity(card)) {
        return dataBlocks;
    }
    if (length > 0) {
        return BlocksOf(length + kLengthFieldSize);
    }
    std::uint32_t blocks = 1;
    while (blocks < dataBlocks && !AllZero(ReadDataBlock(card, blocks))) {
        ++blocks;
    }
    return blocks == 1 && AllZero(first) ? 0 : blocks;
}

void ZeroBlocks(CACR120Mifare& card, std::uint32_t blocks) {
    if (blocks == 0) {
        return;
    }
    const std::array<std::uint8_t, kBlockSize> zeros{};
    WriteDataBlock(card, 0, zeros.data());
    for (std::uint32_t index = blocks - 1; index > 0; --index) {
        WriteDataBlock(card, index, zeros.data());
    }
}

}  // namespace notice_record
