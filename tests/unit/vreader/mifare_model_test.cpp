// The card model under the virtual reader: access bits, value blocks, blank cards and the
// dump formats. (Sector geometry is proven through the libraries on a 4K card.)

#include <gtest/gtest.h>

#include "ascii/hex.h"
#include "control/card_formats.h"
#include "control/virtual_field.h"
#include "core/mifare.h"

namespace {

namespace m = vreader::card_model;
using vreader::Bytes;

TEST(MifareAccessBits, EncodeAndDecodeTheKnownBytes) {
    using A = std::array<std::uint8_t, 3>;
    EXPECT_EQ(m::EncodeAccess({0, 0, 0, 1}), (A{0xFF, 0x07, 0x80}));
    EXPECT_EQ(m::EncodeAccess({0, 0, 0, 4}), (A{0xF7, 0x8F, 0x00}));
    EXPECT_EQ(m::EncodeAccess({0, 0, 0, 0}), (A{0xFF, 0x0F, 0x00}));
    for (int c0 = 0; c0 < 8; ++c0) {
        for (int c3 = 0; c3 < 8; ++c3) {
            const std::array<int, 4> conditions{c0, 7 - c0, c3 ^ 5, c3};
            const auto bytes = m::EncodeAccess(conditions);
            EXPECT_EQ(m::DecodeAccess(bytes), conditions);
        }
    }
    // Any single flipped bit breaks the inverted copies.
    const auto good = m::EncodeAccess({1, 2, 3, 4});
    for (int bit = 0; bit < 24; ++bit) {
        auto bad = good;
        bad[bit / 8] ^= static_cast<std::uint8_t>(1 << (bit % 8));
        EXPECT_FALSE(m::DecodeAccess(bad)) << "bit " << bit;
    }
}

TEST(MifareValueBlocks, DecodeRejectsBrokenCopies) {
    Bytes block(16);
    m::EncodeValue(-5, 9, block);
    EXPECT_EQ(m::DecodeValue(block), -5);
    EXPECT_EQ(block[13], 0xF6) << "inverted address";
    for (int at : {0, 4, 8, 12, 15}) {
        Bytes broken = block;
        broken[at] ^= 1;
        EXPECT_FALSE(m::DecodeValue(broken)) << "byte " << at;
    }
}

TEST(BlankCards, CarryUidBccAndTheTransportConfiguration) {
    const Bytes uid{0xDE, 0xAD, 0xBE, 0xEF};
    const Bytes card = vreader::MakeBlankCard(vreader::CardKind::kClassic4K, uid);
    ASSERT_EQ(card.size(), 4096u);
    EXPECT_EQ(vreader::UidOfImage(card), uid);
    EXPECT_EQ(card[4], 0xDE ^ 0xAD ^ 0xBE ^ 0xEF);
    const Bytes transport{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x07,
                          0x80, 0x69, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    for (int s = 0; s < 40; ++s) {
        const auto* t = card.data() + m::TrailerOfSector(s) * 16;
        EXPECT_EQ(Bytes(t, t + 16), transport) << "sector " << s;
    }

    const Bytes uid7{0x04, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06};
    const Bytes tag = vreader::MakeBlankCard(vreader::CardKind::kSevenByteUid, uid7);
    ASSERT_EQ(tag.size(), 64u);
    EXPECT_EQ(vreader::UidOfImage(tag), uid7);
    EXPECT_EQ(tag[3], 0x88 ^ 0x04 ^ 0x01 ^ 0x02);
    EXPECT_EQ(tag[8], 0x03 ^ 0x04 ^ 0x05 ^ 0x06);

    EXPECT_NE(vreader::UidOfImage(vreader::MakeBlankCard(vreader::CardKind::kClassic1K)),
              vreader::UidOfImage(vreader::MakeBlankCard(vreader::CardKind::kClassic1K)))
        << "random UIDs differ";
    EXPECT_THROW(vreader::MakeBlankCard(vreader::CardKind::kClassic1K, uid7),
                 vreader::ControlError);
}

TEST(DumpFormats, ReadWhatOtherToolsWrite) {
    // An MCT file as MIFARE Classic Tool writes it, lower-case hex allowed.
    std::string mct;
    Bytes expected;
    for (int s = 0; s < 16; ++s) {
        mct += "+Sector: " + std::to_string(s) + "\n";
        for (int b = 0; b < 4; ++b) {
            const std::string line = b == 3 ? "ffffffffffffff078069ffffffffffff"
                                            : std::string(32, static_cast<char>('0' + b));
            mct += line + "\r\n";
            for (int i = 0; i < 16; ++i) {
                expected.push_back(
                    static_cast<std::uint8_t>(std::stoi(line.substr(i * 2, 2), nullptr, 16)));
            }
        }
    }
    EXPECT_EQ(vreader::ParseDump(mct, vreader::DumpFormat::kMct), expected);

    // Proxmark3 JSON: blocks in any order, other members ignored.
    std::string json =
        "{\"Created\":\"proxmark3\",\"FileType\":\"mfc v2\",\"Card\":{\"UID\":\"x\"},"
        "\"blocks\":{";
    for (int b = 63; b >= 0; --b) {
        json += "\"" + std::to_string(b) + "\":\"" + ascii::HexText(expected.data() + b * 16, 16) +
                "\"" + (b ? "," : "");
    }
    json += "},\"SectorKeys\":{\"0\":{\"KeyA\":\"FFFFFFFFFFFF\"}}}";
    EXPECT_EQ(vreader::ParseDump(json, vreader::DumpFormat::kJson), expected);

    std::string missing = json;
    missing.replace(missing.find("\"17\":"), 5, "\"99\":");
    EXPECT_THROW(vreader::ParseDump(missing, vreader::DumpFormat::kJson), vreader::ControlError);
    EXPECT_THROW(
        vreader::ParseDump("{\"FileType\":\"iclass\",\"blocks\":{}}", vreader::DumpFormat::kJson),
        vreader::ControlError);
    std::string shortMct = mct.substr(0, mct.rfind("+Sector"));
    EXPECT_THROW(vreader::ParseDump(shortMct, vreader::DumpFormat::kMct), vreader::ControlError)
        << "15 sectors accepted";
}

}  // namespace
