// Card geometry, default block maps and access bytes, checked against a layout
// built independently: sectors laid one after another, 4 blocks each up to
// sector 31 and 16 blocks each after it.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vector>

#include "card/access_bits.h"
#include "card/acr120_mifare.h"
#include "card/block_maps.h"
#include "errors/coded_exception.h"

namespace {

using testing::ElementsAre;

struct Layout {
    std::vector<int> sectorOf, first, trailer;
    Layout() {
        for (int sector = 0; sector < 40; ++sector) {
            first.push_back(static_cast<int>(sectorOf.size()));
            sectorOf.insert(sectorOf.end(), sector < 32 ? 4 : 16, sector);
            trailer.push_back(static_cast<int>(sectorOf.size()) - 1);
        }
    }
    // Every block of the first `sectors` sectors but block 0 and the trailers.
    std::vector<std::uint8_t> DataBlocks(int sectors) const {
        std::vector<std::uint8_t> blocks;
        for (int b = 1; b <= trailer[sectors - 1]; ++b) {
            if (b != trailer[sectorOf[b]])
                blocks.push_back(static_cast<std::uint8_t>(b));
        }
        return blocks;
    }
};
const Layout kLayout;

TEST(CardGeometry, AllBlocksAndSectorsFollowTheLayout) {
    for (int block = 0; block < 256; ++block) {
        const auto b = static_cast<std::uint8_t>(block);
        const int trailer = kLayout.trailer[kLayout.sectorOf[block]];
        EXPECT_EQ(mifare::SectorOfBlock(b), kLayout.sectorOf[block]) << block;
        EXPECT_EQ(CACR120Mifare::GetTrailerBlock(b), trailer) << block;
        EXPECT_EQ(mifare::IsTrailer(b), block == trailer) << block;
    }
    for (int sector = 0; sector < 40; ++sector) {
        const auto s = static_cast<std::uint8_t>(sector);
        EXPECT_EQ(CACR120Mifare::GetFirstBlock(s), kLayout.first[sector]) << sector;
        // The reader names 16-block sectors by 4-block sector numbers: 33 is 36, 39 is 60.
        EXPECT_EQ(mifare::LoginSectorNumber(s), sector <= 32 ? sector : (sector - 24) * 4)
            << sector;
    }
    EXPECT_THROW(CACR120Mifare::GetFirstBlock(40), CCodedException);
}

TEST(DefaultBlockMaps, AreTheDataBlocksInAscendingOrder) {
    // Equal to the layout's data blocks: ascending, no block 0, no trailer, none left
    // out (47 and 215), and the 4K map starts with the 1K map.
    const auto& map1K = mifare::kDefaultBlockMap1K;
    const auto& map4K = mifare::kDefaultBlockMap4K;
    EXPECT_EQ(std::vector<std::uint8_t>(map1K.begin(), map1K.end()), kLayout.DataBlocks(16));
    EXPECT_EQ(std::vector<std::uint8_t>(map4K.begin(), map4K.end()), kLayout.DataBlocks(40));
    EXPECT_TRUE(mifare::DefaultBlockMap(kCardTypeSevenByteUid).empty());
}

TEST(AccessBytes, CarryEachConditionPlainAndInverted) {
    EXPECT_THAT(mifare::ComposeAccessBytes(0, 0, 0, 1), ElementsAre(0xFF, 0x07, 0x80));
    EXPECT_THAT(mifare::ComposeAccessBytes(0, 0, 0, 4), ElementsAre(0xF7, 0x8F, 0x00));
    EXPECT_THAT(mifare::ComposeAccessBytes(0, 0, 0, 0), ElementsAre(0xFF, 0x0F, 0x00));
    // Data groups land in their own bits: group 0 C3, group 1 C2, group 2 C1.
    EXPECT_THAT(mifare::ComposeAccessBytes(1, 2, 4, 0), ElementsAre(0xDB, 0x4E, 0x12));
}

TEST(AccessBytes, DecodeGivesBackEveryConditionAndRefusesATornCopy) {
    for (std::uint8_t c = 0; c < 8; ++c) {
        const auto bytes = mifare::ComposeAccessBytes(c, (c + 1) & 7, (c + 2) & 7, (c + 3) & 7);
        const auto conditions = mifare::DecodeAccessBytes(bytes.data());
        ASSERT_TRUE(conditions.has_value()) << int{c};
        EXPECT_THAT(*conditions, ElementsAre(c, (c + 1) & 7, (c + 2) & 7, (c + 3) & 7));
    }
    const std::uint8_t keyBOnly[] = {0x7F, 0x07, 0x88};  // trailer 011: key B writes it
    EXPECT_THAT(*mifare::DecodeAccessBytes(keyBOnly), ElementsAre(0, 0, 0, 3));
    EXPECT_FALSE(mifare::KeyAMayWriteKeyA(3));
    EXPECT_TRUE(mifare::KeyAMayWriteKeyA(0) && mifare::KeyAMayWriteKeyA(1));
    EXPECT_TRUE(mifare::KeyAMayWriteData(0));
    EXPECT_FALSE(mifare::KeyAMayWriteData(4));
    for (int bit = 0; bit < 24; ++bit) {
        auto torn = mifare::ComposeAccessBytes(0, 0, 0, 1);
        torn[static_cast<std::size_t>(bit / 8)] ^= static_cast<std::uint8_t>(1 << (bit % 8));
        EXPECT_FALSE(mifare::DecodeAccessBytes(torn.data()).has_value()) << bit;
    }
}

}  // namespace
