// Card geometry, default block maps and access bytes, checked against a layout
// built independently: sectors laid one after another, 4 blocks each up to
// sector 31 and 16 blocks each after it.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "card/access_bits.h"
#include "card/acr120_mifare.h"
#include "card/block_maps.h"
#include "errors/coded_exception.h"

namespace {

struct Layout {
    std::vector<int> sectorOf, firstBlock, lastBlock;
    Layout() {
        for (int sector = 0; sector < 40; ++sector) {
            firstBlock.push_back(static_cast<int>(sectorOf.size()));
            sectorOf.insert(sectorOf.end(), sector < 32 ? 4 : 16, sector);
            lastBlock.push_back(static_cast<int>(sectorOf.size()) - 1);
        }
    }
    // Every block of the first `sectors` sectors but block 0 and the trailers.
    std::vector<std::uint8_t> DataBlocks(int sectors) const {
        std::vector<std::uint8_t> blocks;
        for (int b = 1; b <= lastBlock[static_cast<std::size_t>(sectors - 1)]; ++b) {
            if (b != lastBlock[static_cast<std::size_t>(sectorOf[static_cast<std::size_t>(b)])]) {
                blocks.push_back(static_cast<std::uint8_t>(b));
            }
        }
        return blocks;
    }
};
const Layout kLayout;

TEST(CardGeometry, AllBlocksAndSectorsFollowTheLayout) {
    for (std::size_t block = 0; block < 256; ++block) {
        const auto b = static_cast<std::uint8_t>(block);
        const int sector = kLayout.sectorOf[block];
        const int trailer = kLayout.lastBlock[static_cast<std::size_t>(sector)];
        EXPECT_EQ(mifare::SectorOfBlock(b), sector) << block;
        EXPECT_EQ(CACR120Mifare::GetTrailerBlock(b), trailer) << block;
        EXPECT_EQ(mifare::IsTrailer(b), static_cast<int>(block) == trailer) << block;
    }
    for (std::size_t sector = 0; sector < 40; ++sector) {
        const auto s = static_cast<std::uint8_t>(sector);
        EXPECT_EQ(CACR120Mifare::GetFirstBlock(s), kLayout.firstBlock[sector]) << sector;
        // The reader names 16-block sectors by 4-block sector numbers: 33 is 36, 39 is 60.
        EXPECT_EQ(mifare::LoginSectorNumber(s), sector <= 32 ? sector : (sector - 24) * 4) << sector;
    }
    try {
        CACR120Mifare::GetFirstBlock(40);
        ADD_FAILURE() << "sector 40 accepted";
    } catch (const CCodedException& e) {
        EXPECT_EQ(e.GetCode(), kErrInvalidParameter);
        EXPECT_EQ(e.GetSource(), u"PCSCCard_Mifare");
    }
}

TEST(DefaultBlockMaps, AreTheDataBlocksInAscendingOrder) {
    const std::vector<std::uint8_t> map1K(mifare::kDefaultBlockMap1K.begin(), mifare::kDefaultBlockMap1K.end());
    const std::vector<std::uint8_t> map4K(mifare::kDefaultBlockMap4K.begin(), mifare::kDefaultBlockMap4K.end());
    // Ascending, without block 0 and trailers, and no data block left out.
    EXPECT_EQ(map1K, kLayout.DataBlocks(16));
    EXPECT_EQ(map4K, kLayout.DataBlocks(40));
    EXPECT_EQ(map1K.size(), 47u);
    EXPECT_EQ(map4K.size(), 215u);
    // A notice saved on a 1K card lies in the same blocks on a 4K card.
    EXPECT_TRUE(std::equal(map1K.begin(), map1K.end(), map4K.begin()));
    EXPECT_TRUE(mifare::DefaultBlockMap(kCardTypeSevenByteUid).empty());
}

TEST(AccessBytes, CarryEachConditionPlainAndInverted) {
    using testing::ElementsAre;
    EXPECT_THAT(mifare::ComposeAccessBytes(0, 0, 0, 1), ElementsAre(0xFF, 0x07, 0x80));
    EXPECT_THAT(mifare::ComposeAccessBytes(0, 0, 0, 4), ElementsAre(0xF7, 0x8F, 0x00));
    EXPECT_THAT(mifare::ComposeAccessBytes(0, 0, 0, 0), ElementsAre(0xFF, 0x0F, 0x00));
    // Data groups land in their own bits: group 0 C3, group 1 C2, group 2 C1.
    EXPECT_THAT(mifare::ComposeAccessBytes(1, 2, 4, 0), ElementsAre(0xDB, 0x4E, 0x12));
    const std::uint8_t keyA[6] = {1, 2, 3, 4, 5, 6};
    const std::uint8_t keyB[6] = {0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6};
    EXPECT_THAT(mifare::ComposeTrailer(keyA, {0xFF, 0x07, 0x80}, keyB),
                ElementsAre(1, 2, 3, 4, 5, 6, 0xFF, 0x07, 0x80, 0x00, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6));
}

}  // namespace
