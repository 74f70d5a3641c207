// Card geometry, default block maps and trailer composition, checked against a
// layout built independently: sectors laid one after another, 4 blocks each up
// to sector 31 and 16 blocks each after it.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

#include "card/access_bits.h"
#include "card/acr120_mifare.h"
#include "card/block_maps.h"
#include "card/mifare_geometry.h"
#include "errors/coded_exception.h"

namespace {

struct Layout {
    std::array<int, 256> sectorOf{};
    std::array<int, 40> firstBlock{};
    std::array<int, 40> blockCount{};
};

Layout BuildLayout() {
    Layout layout;
    int block = 0;
    for (int sector = 0; sector < 40; ++sector) {
        layout.firstBlock[static_cast<std::size_t>(sector)] = block;
        const int count = sector < 32 ? 4 : 16;
        layout.blockCount[static_cast<std::size_t>(sector)] = count;
        for (int i = 0; i < count; ++i) {
            layout.sectorOf[static_cast<std::size_t>(block++)] = sector;
        }
    }
    return layout;
}

const Layout kLayout = BuildLayout();

int LastBlockOf(int sector) {
    return kLayout.firstBlock[static_cast<std::size_t>(sector)] +
           kLayout.blockCount[static_cast<std::size_t>(sector)] - 1;
}

TEST(CardGeometry, EveryBlockHasTheSectorAndTrailerOfTheLayout) {
    for (int block = 0; block < 256; ++block) {
        const auto b = static_cast<std::uint8_t>(block);
        const int sector = kLayout.sectorOf[static_cast<std::size_t>(block)];
        SCOPED_TRACE(block);
        EXPECT_EQ(mifare::SectorOfBlock(b), sector);
        EXPECT_EQ(mifare::TrailerOfBlock(b), LastBlockOf(sector));
        EXPECT_EQ(CACR120Mifare::GetTrailerBlock(b), LastBlockOf(sector));
        EXPECT_EQ(mifare::IsTrailer(b), block == LastBlockOf(sector));
    }
}

TEST(CardGeometry, EverySectorHasTheFirstBlockAndLoginNumberOfTheLayout) {
    for (int sector = 0; sector < 40; ++sector) {
        const auto s = static_cast<std::uint8_t>(sector);
        const int first = kLayout.firstBlock[static_cast<std::size_t>(sector)];
        SCOPED_TRACE(sector);
        EXPECT_EQ(CACR120Mifare::GetFirstBlock(s), first);
        EXPECT_EQ(mifare::TrailerOfSector(s), LastBlockOf(sector));
        // The reader names 16-block sectors by 4-block sector numbers.
        EXPECT_EQ(mifare::LoginSectorNumber(s), sector <= 32 ? sector : (sector - 24) * 4);
        EXPECT_EQ(mifare::LoginSectorNumber(s), first / 4);
    }
    EXPECT_EQ(mifare::LoginSectorNumber(33), 36);
    EXPECT_EQ(mifare::LoginSectorNumber(39), 60);
}

TEST(CardGeometry, SectorsBeyondTheLargestCardAreInvalidParameters) {
    for (int sector : {40, 41, 100, 255}) {
        try {
            CACR120Mifare::GetFirstBlock(static_cast<std::uint8_t>(sector));
            ADD_FAILURE() << "sector " << sector << " accepted";
        } catch (const CCodedException& e) {
            EXPECT_EQ(e.GetCode(), kErrInvalidParameter);
            EXPECT_EQ(e.GetSource(), u"PCSCCard_Mifare");
        }
    }
}

void ExpectIsDataAreaOf(const std::vector<std::uint8_t>& map, int sectorCount) {
    EXPECT_TRUE(std::is_sorted(map.begin(), map.end()));
    EXPECT_EQ(std::adjacent_find(map.begin(), map.end()), map.end()) << "repeated block";
    std::vector<std::uint8_t> expected;
    for (int block = 1; block <= LastBlockOf(sectorCount - 1); ++block) {
        if (block != LastBlockOf(kLayout.sectorOf[static_cast<std::size_t>(block)])) {
            expected.push_back(static_cast<std::uint8_t>(block));
        }
    }
    EXPECT_EQ(map, expected);
}

TEST(DefaultBlockMaps, CoverEveryDataBlockOfTheCardInAscendingOrder) {
    const std::vector<std::uint8_t> map1K(mifare::kDefaultBlockMap1K.begin(),
                                          mifare::kDefaultBlockMap1K.end());
    const std::vector<std::uint8_t> map4K(mifare::kDefaultBlockMap4K.begin(),
                                          mifare::kDefaultBlockMap4K.end());
    ASSERT_EQ(map1K.size(), 47u);
    ASSERT_EQ(map4K.size(), 215u);
    ExpectIsDataAreaOf(map1K, 16);
    ExpectIsDataAreaOf(map4K, 40);
    EXPECT_THAT(map1K, testing::Not(testing::Contains(0)));
    // A notice saved on a 1K card lies in the same blocks on a 4K card.
    EXPECT_TRUE(std::equal(map1K.begin(), map1K.end(), map4K.begin()));
    EXPECT_EQ(map1K.back(), 62);
    EXPECT_EQ(map4K.back(), 254);
}

TEST(DefaultBlockMaps, OnlyStorageCardsHaveOne) {
    EXPECT_EQ(mifare::DefaultBlockMap(kCardTypeMifare1K).size(), 47u);
    EXPECT_EQ(mifare::DefaultBlockMap(kCardTypeMifare4K).size(), 215u);
    EXPECT_TRUE(mifare::DefaultBlockMap(kCardTypeUnknown).empty());
    EXPECT_TRUE(mifare::DefaultBlockMap(kCardTypeSevenByteUid).empty());
}

// Decodes access bytes by the card's published bit positions: C1 of condition i
// is bit 4+i of byte 7, C2 bit i of byte 8, C3 bit 4+i of byte 8, and byte 6
// and the low nibble of byte 7 hold C1, C2, C3 inverted.
struct Decoded {
    std::array<int, 4> conditions{};
    bool consistent = true;
};

Decoded Decode(const mifare::AccessBytes& bytes) {
    Decoded d;
    for (int i = 0; i < 4; ++i) {
        const int c1 = (bytes[1] >> (4 + i)) & 1;
        const int c2 = (bytes[2] >> i) & 1;
        const int c3 = (bytes[2] >> (4 + i)) & 1;
        const int notC1 = (bytes[0] >> i) & 1;
        const int notC2 = (bytes[0] >> (4 + i)) & 1;
        const int notC3 = (bytes[1] >> i) & 1;
        d.consistent = d.consistent && notC1 != c1 && notC2 != c2 && notC3 != c3;
        d.conditions[static_cast<std::size_t>(i)] = c1 * 4 + c2 * 2 + c3;
    }
    return d;
}

TEST(AccessBytes, KnownConfigurations) {
    using testing::ElementsAre;
    EXPECT_THAT(mifare::ComposeAccessBytes(0, 0, 0, 1), ElementsAre(0xFF, 0x07, 0x80));
    EXPECT_THAT(mifare::ComposeAccessBytes(0, 0, 0, 4), ElementsAre(0xF7, 0x8F, 0x00));
    EXPECT_THAT(mifare::ComposeAccessBytes(0, 0, 0, 0), ElementsAre(0xFF, 0x0F, 0x00));
}

TEST(AccessBytes, EveryCombinationDecodesBackAndCarriesItsInverse) {
    for (int c = 0; c < 8 * 8 * 8 * 8; ++c) {
        const std::array<int, 4> conditions{c & 7, (c >> 3) & 7, (c >> 6) & 7, (c >> 9) & 7};
        const Decoded d = Decode(mifare::ComposeAccessBytes(
            static_cast<std::uint8_t>(conditions[0]), static_cast<std::uint8_t>(conditions[1]),
            static_cast<std::uint8_t>(conditions[2]), static_cast<std::uint8_t>(conditions[3])));
        ASSERT_TRUE(d.consistent) << c;
        ASSERT_EQ(d.conditions, conditions) << c;
    }
}

TEST(AccessBytes, TrailerLaysOutKeyAAccessSpareAndKeyB) {
    const std::uint8_t keyA[6] = {1, 2, 3, 4, 5, 6};
    const std::uint8_t keyB[6] = {0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6};
    EXPECT_THAT(mifare::ComposeTrailer(keyA, {0xFF, 0x07, 0x80}, keyB),
                testing::ElementsAre(1, 2, 3, 4, 5, 6, 0xFF, 0x07, 0x80, 0x00, 0xA1, 0xA2, 0xA3,
                                     0xA4, 0xA5, 0xA6));
}

}  // namespace
