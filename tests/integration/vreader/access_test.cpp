// The access conditions of NXP's MIFARE Classic datasheet, for every C1C2C3 of a data
// block and of a sector trailer, with key A and key B. The tables are written out here
// as the datasheet prints them, apart from the card model's own tables.

#include "fixture.h"

namespace vreader_test {
namespace {

using VReaderAccess = VReader;

struct DataRow {
    int c;             // C1C2C3
    const char* read;  // who may: "AB", "A", "B" or ""
    const char* write;
};
constexpr DataRow kDataTable[] = {
    {0b000, "AB", "AB"}, {0b010, "AB", ""}, {0b100, "AB", "B"}, {0b110, "AB", "B"},
    {0b001, "AB", ""},   {0b011, "B", "B"}, {0b101, "B", ""},   {0b111, "", ""},
};

struct TrailerRow {
    int c;
    const char* keyAWrite;
    const char* accessRead;
    const char* accessWrite;
    const char* keyBRead;
    const char* keyBWrite;
};
// Under 000, 010 and 001 key B is readable and serves as no key, so B never appears.
constexpr TrailerRow kTrailerTable[] = {
    {0b000, "A", "A", "", "A", "A"},  {0b010, "", "A", "", "A", ""},
    {0b100, "B", "AB", "", "", "B"},  {0b110, "", "AB", "", "", ""},
    {0b001, "A", "A", "A", "A", "A"}, {0b011, "B", "AB", "B", "", "B"},
    {0b101, "", "AB", "B", "", ""},   {0b111, "", "AB", "", "", ""},
};

bool May(const char* who, bool keyB) {
    return std::string(who).find(keyB ? 'B' : 'A') != std::string::npos;
}

std::string Bits(int c) {
    return std::to_string(c >> 2 & 1) + std::to_string(c >> 1 & 1) + std::to_string(c & 1);
}

TEST_P(VReaderAccess, DataBlockAccessFollowsTheDatasheetForEveryCondition) {
    for (const auto& row : kDataTable) {
        for (bool keyB : {false, true}) {
            SCOPED_TRACE("C1C2C3 " + Bits(row.c) + (keyB ? " key B" : " key A"));
            // Block 5 is group 1; the trailer's 011 leaves key B usable.
            CardWith({0, row.c, 0, 0b011});
            ASSERT_EQ(lib.Login(h, 1, keyB, keyB ? kKeyB : kKeyA), rc::kOk);
            Bytes data;
            EXPECT_EQ(ReadBlock(5, data), May(row.read, keyB) ? rc::kOk : rc::kNotAuthorized);
            const bool write = May(row.write, keyB);
            EXPECT_EQ(lib.Write(h, 5, Block(0x3C)), write ? rc::kOk : rc::kNotAuthorized);
            EXPECT_EQ(Image()[5 * 16], write ? 0x3C : 0x00);
            EXPECT_EQ(ReadBlock(4, data), rc::kOk) << "group 0 keeps its own condition";
        }
    }
}

// Every trailer write that takes effect answers with the failed read-back's code.
TEST_P(VReaderAccess, TrailerAccessFollowsTheDatasheetForEveryCondition) {
    const Bytes newKeyA(6, 0x1A), newKeyB(6, 0x2B);
    for (const auto& row : kTrailerTable) {
        for (bool keyB : {false, true}) {
            SCOPED_TRACE("trailer C1C2C3 " + Bits(row.c) + (keyB ? " key B" : " key A"));
            CardWith({0, 0, 0, row.c});
            const bool keyBReadable = row.c == 0b000 || row.c == 0b010 || row.c == 0b001;
            if (keyB && keyBReadable) {
                EXPECT_EQ(lib.Login(h, 1, true, kKeyB), rc::kLoginFailed)
                    << "a readable key B is no key";
                continue;
            }
            ASSERT_EQ(lib.Login(h, 1, keyB, keyB ? kKeyB : kKeyA), rc::kOk);
            const Bytes old = Part(Image(), 7 * 16, 8 * 16);
            Bytes data;
            ASSERT_EQ(ReadBlock(7, data), rc::kOk);
            EXPECT_EQ(Part(data, 0, 6), Bytes(6, 0)) << "key A never shows";
            EXPECT_EQ(Part(data, 6, 10),
                      May(row.accessRead, keyB) ? Part(old, 6, 10) : Bytes(4, 0));
            EXPECT_EQ(Part(data, 10, 16), May(row.keyBRead, keyB) ? kKeyB : Bytes(6, 0));

            // New keys and other (valid) access bits: each part changes only where the
            // key may write it.
            const Bytes trailer = Trailer(newKeyA, {1, 0, 0, row.c}, newKeyB, 0x55);
            const bool any =
                May(row.keyAWrite, keyB) || May(row.accessWrite, keyB) || May(row.keyBWrite, keyB);
            EXPECT_EQ(lib.Write(h, 7, trailer), any ? lib.TrailerWriteCode() : rc::kNotAuthorized);
            const Bytes now = Part(Image(), 7 * 16, 8 * 16);
            EXPECT_EQ(Part(now, 0, 6), May(row.keyAWrite, keyB) ? newKeyA : kKeyA);
            EXPECT_EQ(Part(now, 6, 10), Part(May(row.accessWrite, keyB) ? trailer : old, 6, 10));
            EXPECT_EQ(Part(now, 10, 16), May(row.keyBWrite, keyB) ? newKeyB : kKeyB);
            for (const auto& call : field.CallLog(reader)) {
                EXPECT_EQ(call.arguments.find("1A1A1A"), std::string::npos)
                    << "keys stay out of the log";
            }
            if (May(row.keyAWrite, keyB)) {
                ASSERT_EQ(Reselect(), rc::kOk);
                EXPECT_EQ(lib.Login(h, 1, false, newKeyA), rc::kOk) << "the new key A is in force";
            }
        }
    }
}

TEST_P(VReaderAccess, AccessBytesFailingTheInvertedNibbleCheckLockTheSectorForGood) {
    CardWith({0, 0, 0, 0b001});
    ASSERT_EQ(lib.Login(h, 1, false, kKeyA), rc::kOk);
    const Bytes trailer = Join({kKeyA, {0xFF, 0x07, 0x81, 0}, kKeyB});  // 0x81: one bit off
    EXPECT_EQ(lib.Write(h, 7, trailer), lib.TrailerWriteCode());
    Bytes data;
    EXPECT_EQ(ReadBlock(4, data), rc::kNotAuthorized) << "even the running session is refused";
    ASSERT_EQ(Reselect(), rc::kOk);
    EXPECT_EQ(lib.Login(h, 1, true, kKeyB), rc::kLoginFailed);
    ASSERT_EQ(Reselect(), rc::kOk);
    EXPECT_EQ(lib.Login(h, 2, false, kFF), rc::kOk) << "other sectors live on";

    // The lock is in the image: it holds after closing and opening the reader again.
    ASSERT_EQ(lib.Close(h), rc::kOk);
    h = lib.Open(0);
    ASSERT_EQ(Reselect(), rc::kOk);
    EXPECT_EQ(lib.Login(h, 1, false, kKeyA), rc::kLoginFailed);
}

INSTANTIATE_TEST_SUITE_P(BothVariants, VReaderAccess, ::testing::Bool(), VariantName);

}  // namespace
}  // namespace vreader_test
