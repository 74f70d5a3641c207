#include "card/notice_record.h"

#include <algorithm>
#include <array>
#include <vector>

#include "card/acr120_mifare.h"
#include "card/block_maps.h"
#include "card/notice_text.h"

namespace notice_record {

namespace {

constexpr std::uint32_t kBlockSize = mifare::kBlockSize;

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
    return notice_text::Capacity(card.GetCardType());
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

std::uint8_t StoredRecord::LastSector(const CACR120Mifare& card) const {
    const std::span<const std::uint8_t> map = mifare::DefaultBlockMap(card.GetCardType());
    return mifare::SectorOfBlock(map[blocks - 1]);
}

StoredRecord ReadStoredRecord(CACR120Mifare& card) {
    StoredRecord record;
    record.lengthBlock = ReadDataBlock(card, 0);
    if (record.Length() > Capacity(card)) {
        record.ours = false;
    } else {
        record.blocks = BlocksOf(record.Length() + notice_text::kLengthFieldSize);
    }
    return record;
}

std::vector<std::uint8_t> BlocksToErase(const CACR120Mifare& card, const StoredRecord& record) {
    std::vector<std::uint8_t> blocks;
    // An empty notice has no text to erase; what lies behind its length is older.
    if (record.Length() == 0) {
        return blocks;
    }
    const std::span<const std::uint8_t> map = mifare::DefaultBlockMap(card.GetCardType());
    for (std::uint32_t index = record.blocks; index-- > 0;) {
        blocks.push_back(map[index]);
    }
    return blocks;
}

void EraseBlocks(CACR120Mifare& card, const StoredRecord& record,
                 const std::vector<std::uint8_t>& blocks, int sector) {
    const std::uint8_t lengthBlock = mifare::DefaultBlockMap(card.GetCardType())[0];
    for (const std::uint8_t block : blocks) {
        if (sector != kEverySector && mifare::SectorOfBlock(block) != sector) {
            continue;
        }
        std::array<std::uint8_t, kBlockSize> content{};
        if (block == lengthBlock && !record.ours) {
            content = record.lengthBlock;
            content[0] = content[1] = 0;
        }
        if (mifare::SectorOfBlock(block) != card.AuthenticatedSector()) {
            card.Login(mifare::SectorOfBlock(block), card.LastLoginUsedStoredKey(),
                       card.LastKeyType(), card.LastKeyIndex());
        }
        card.WriteBlock(block, content.data());
    }
}

}  // namespace notice_record
