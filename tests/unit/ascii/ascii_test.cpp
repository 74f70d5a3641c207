// Hex, reader names and case folding: the edges that the connection, the reader
// list and the virtual reader's own tests do not reach.

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "ascii/case_fold.h"
#include "ascii/hex.h"
#include "ascii/reader_name.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(Hex, EveryByteRoundTripsAndOnlyHexDigitsParse) {
    Bytes all;
    for (int b = 0; b < 256; ++b) {
        all.push_back(static_cast<std::uint8_t>(b));
    }
    const std::string text = ascii::HexText(all);
    EXPECT_EQ(text.substr(0, 6), "000102");
    EXPECT_EQ(text.substr(text.size() - 6), "FDFEFF");
    EXPECT_EQ(ascii::ParseHex(text), all);
    EXPECT_EQ(ascii::ParseHex("a5Bc"), (Bytes{0xA5, 0xBC}));
    EXPECT_EQ(ascii::ParseHex(""), Bytes{});
    // The neighbours of the digit ranges, and an odd count.
    for (const char* bad : {"0/", "0:", "@0", "G0", "0`", "0g", "0 ", "ABC"}) {
        EXPECT_FALSE(ascii::ParseHex(bad)) << bad;
    }
}

TEST(Hex, NumbersKeepTheirWidthAndBitPattern) {
    EXPECT_EQ(ascii::HexNumber(0x2A, 4), "002A");
    EXPECT_EQ(ascii::HexNumber(static_cast<std::uint32_t>(-2147467259), 8), "80004005");
    EXPECT_EQ(ascii::HexNumber(0x123456789ABCDEF0, 16), "123456789ABCDEF0");
    EXPECT_EQ(ascii::HexNumber(0x1234, 2), "34");
}

TEST(ReaderName, KindAndNumberInAnyCaseOfBothCharacterTypes) {
    const auto com8 = ascii::ParseReaderName("cOm8");
    ASSERT_TRUE(com8);
    EXPECT_EQ(com8->kind, ascii::ReaderKind::Serial);
    EXPECT_EQ(com8->number, 8);
    const auto usb1 = ascii::ParseReaderName(u"uSB1");
    ASSERT_TRUE(usb1);
    EXPECT_EQ(usb1->kind, ascii::ReaderKind::Usb);
    EXPECT_EQ(usb1->number, 1);
    EXPECT_EQ(ascii::CanonicalReaderName("usb3"), "USB3");
    EXPECT_EQ(ascii::ReaderNameText({ascii::ReaderKind::Serial, 2}), "COM2");
    for (const char* refused : {"COM0", "COM9", "USB", "COM12", "CON1", "C0M1", " COM1"}) {
        EXPECT_FALSE(ascii::ParseReaderName(refused)) << refused;
    }
    // U+0143 narrowed to a byte would be 'C'.
    EXPECT_FALSE(ascii::ParseReaderName(u"\u0143OM1"));
}

TEST(CaseFold, OnlyLettersAToZChange) {
    EXPECT_EQ(ascii::Lower("AZaz@[`{09.\xC9"), "azaz@[`{09.\xC9");
    EXPECT_EQ(ascii::Upper("azAZ@[`{09.\xE9"), "AZAZ@[`{09.\xE9");
    EXPECT_TRUE(ascii::EqualIgnoringCase(u"Com1", u"cOM1"));
    EXPECT_FALSE(ascii::EqualIgnoringCase(u"COM1", u"COM12"));
    EXPECT_FALSE(ascii::EqualIgnoringCase(u"\u00C9", u"\u00E9"));
    EXPECT_FALSE(ascii::EqualIgnoringCase("@", "`"));
}

}  // namespace
