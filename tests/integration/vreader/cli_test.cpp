// The tagquill-vreader tool, run as a user runs it, on a scratch state folder.

#include <sys/wait.h>

#include <cstdio>
#include <fstream>

#include "control/card_formats.h"
#include "fixture.h"

namespace vreader_test {
namespace {

namespace fs = std::filesystem;

struct Outcome {
    int exit = -1;
    std::string output;  // stdout and stderr
};

class VReaderCli : public ::testing::Test {
protected:
    Outcome Cli(const std::string& arguments) const {
        const std::string command = (ExecutableDir() / "tagquill-vreader").string() + " " +
                                    arguments + " 2>&1";
        Outcome outcome;
        FILE* pipe = popen(command.c_str(), "r");
        if (pipe == nullptr) {
            return outcome;
        }
        char buffer[4096];
        std::size_t n;
        while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) {
            outcome.output.append(buffer, n);
        }
        const int status = pclose(pipe);
        outcome.exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return outcome;
    }
    std::string Scratch(const std::string& name) const { return (field.Dir() / name).string(); }
    static std::string Slurp(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    static void Spill(const std::string& path, const std::string& text) {
        std::ofstream(path, std::ios::binary) << text;
    }

    vreader::ScopedVirtualField field;
};

TEST_F(VReaderCli, MakesReadersAndCardsAndMovesCardsInAndOut) {
    EXPECT_EQ(Cli("add-reader com3 --station 9").exit, 0);
    EXPECT_EQ(field.Station("COM3"), 9);
    EXPECT_EQ(Cli("add-reader COM3").exit, 7) << "exists";
    EXPECT_EQ(Cli("add-reader COM9").exit, 3);

    auto made = Cli("new-card 4k --uid 01:02:03:04");
    ASSERT_EQ(made.exit, 0) << made.output;
    ASSERT_EQ(field.OffFieldCards().size(), 1u);
    EXPECT_EQ(field.OffFieldCards()[0].kind, vreader::CardKind::kClassic4K);
    EXPECT_EQ(Cli("new-card 4k --uid 01020304").exit, 7) << "same default name";
    EXPECT_EQ(Cli("new-card 1k --uid 0102 --name x.mfd").exit, 3) << "a 1K UID has 4 bytes";
    EXPECT_EQ(Cli("new-card 7b --uid 04112233445566 --reader USB1").exit, 0);
    EXPECT_EQ(field.Field("USB1").at(0).kind, vreader::CardKind::kSevenByteUid);

    ASSERT_EQ(Cli("place card-01020304.mfd COM3").exit, 0);
    EXPECT_TRUE(field.OffFieldCards().empty());
    EXPECT_EQ(Cli("place card-01020304.mfd COM1").exit, 4) << "no longer in the cards folder";
    EXPECT_EQ(Cli("place card-01020304.mfd COM4").exit, 4) << "no such reader";
    const auto listed = Cli("list");
    EXPECT_EQ(listed.exit, 0);
    EXPECT_NE(listed.output.find("COM3 (station 9)"), std::string::npos) << listed.output;
    EXPECT_NE(listed.output.find("card-01020304.mfd  MIFARE Classic 4K  UID 01020304"),
              std::string::npos);

    ASSERT_EQ(Cli("remove COM3").exit, 0);
    EXPECT_TRUE(field.Field("COM3").empty());
    EXPECT_EQ(Cli("remove COM3").exit, 4) << "nothing left to take away";
    EXPECT_EQ(Cli("remove-reader COM3").exit, 0);
    EXPECT_FALSE(field.HasReader("COM3"));
}

TEST_F(VReaderCli, PlacesADumpFromAnotherToolAsARawCopy) {
    Bytes image = vreader::MakeBlankCard(vreader::CardKind::kClassic1K, kUid1);
    image[4 * 16] = 0x77;
    const std::string eml = Scratch("dump.eml");
    vreader::SaveDump(eml, image);
    ASSERT_EQ(Cli("place " + eml + " COM1 --name mine.mfd").exit, 0);
    EXPECT_EQ(field.ReadCard("COM1/mine.mfd"), image);
    EXPECT_TRUE(fs::exists(eml)) << "the user's file stays";
    EXPECT_EQ(Cli("place " + eml + " COM1 --name mine.mfd").exit, 7);
}

TEST_F(VReaderCli, ConversionsRoundTripByteForByte) {
    Bytes image4k = vreader::MakeBlankCard(vreader::CardKind::kClassic4K, kUid2);
    for (std::size_t i = 16; i < image4k.size(); i += 7) {
        image4k[i] = static_cast<std::uint8_t>(i * 31);  // everything, trailers too
    }
    Bytes image7 = vreader::MakeBlankCard(vreader::CardKind::kSevenByteUid,
                                          Bytes{0x04, 1, 2, 3, 4, 5, 6});
    image7[20] = 0xAB;
    for (const auto& [image, formats] :
         {std::pair{image4k, std::vector<std::string>{"eml", "json", "mct", "bin"}},
          std::pair{image7, std::vector<std::string>{"eml", "json", "dump"}}}) {
        const std::string raw = Scratch("start.mfd");
        Spill(raw, std::string(image.begin(), image.end()));
        std::string previous = raw;
        for (const auto& format : formats) {
            const std::string next = Scratch("step." + format);
            const auto outcome = Cli("convert " + previous + " " + next);
            ASSERT_EQ(outcome.exit, 0) << format << ": " << outcome.output;
            previous = next;
        }
        const std::string back = Slurp(previous);
        EXPECT_EQ(Bytes(back.begin(), back.end()), image);
    }
    EXPECT_EQ(Cli("convert " + Scratch("step.dump") + " " + Scratch("x.mct")).exit, 5)
        << "MCT holds Classic cards only";
    EXPECT_EQ(Cli("convert " + Scratch("step.eml") + " " + Scratch("x.txt")).exit, 3);
    EXPECT_EQ(Cli("convert " + Scratch("step.eml") + " " + Scratch("x.txt") + " --to raw").exit, 0);
    EXPECT_EQ(Slurp(Scratch("x.txt")).size(), 64u);
}

TEST_F(VReaderCli, RejectsBadDumpsWithDistinctCodesAndWritesNothing) {
    Spill(Scratch("short.bin"), std::string(1000, '\0'));
    auto outcome = Cli("convert " + Scratch("short.bin") + " " + Scratch("out.eml"));
    EXPECT_EQ(outcome.exit, 5);
    EXPECT_NE(outcome.output.find("1000 bytes"), std::string::npos) << outcome.output;

    std::string eml = vreader::FormatDump(vreader::MakeBlankCard(vreader::CardKind::kClassic1K, kUid1),
                                          vreader::DumpFormat::kEml);
    eml[40] = 'g';
    Spill(Scratch("bad.eml"), eml);
    outcome = Cli("convert " + Scratch("bad.eml") + " " + Scratch("out.mfd"));
    EXPECT_EQ(outcome.exit, 6);
    EXPECT_NE(outcome.output.find("line 2"), std::string::npos) << outcome.output;

    Spill(Scratch("bad.json"), "{\"FileType\": \"mfc v2\", \"blocks\": {\"0\": \"00\"");
    EXPECT_EQ(Cli("convert " + Scratch("bad.json") + " " + Scratch("out.mfd")).exit, 6);
    Spill(Scratch("bad.mct"), "+Sector: 0\n" + std::string(32, '-') + "\n");
    EXPECT_EQ(Cli("show " + Scratch("bad.mct")).exit, 6);
    EXPECT_FALSE(fs::exists(Scratch("out.eml")));
    EXPECT_FALSE(fs::exists(Scratch("out.mfd")));
    EXPECT_EQ(Cli("show nowhere.mfd").exit, 4);
}

TEST_F(VReaderCli, ShowsSectorsWithKeysConditionsHexAndText) {
    Bytes image = vreader::MakeBlankCard(vreader::CardKind::kClassic1K, kUid1);
    const std::string hello = "Hello, card";
    std::copy(hello.begin(), hello.end(), image.begin() + 16);
    SetTrailer(image, 2, kKeyA, {0, 2, 6, 3}, kKeyB);
    image[15 * 16 + 8] ^= 1;  // sector 15's access bits broken
    field.WriteCard("COM1", "c.mfd", image);
    const auto shown = Cli("show COM1/c.mfd");
    ASSERT_EQ(shown.exit, 0);
    for (const char* expected :
         {"MIFARE Classic 1K, UID 11223344", "|Hello, card.....|", "key A A0A1A2A3A4A5",
          "key B B0B1B2B3B4B5", "trailer: 011", "010 read A|B write -", "110 read A|B write B",
          "Sector 15", "INVALID"}) {
        EXPECT_NE(shown.output.find(expected), std::string::npos) << expected << "\n" << shown.output;
    }
}

TEST_F(VReaderCli, SetsFaultsAndLatencyAndShowsTheLog) {
    EXPECT_EQ(Cli("fault COM1 fail ACR120_Read 2 -3030 3").exit, 0);
    EXPECT_EQ(Cli("fault COM1 remove Login 1").exit, 0);
    EXPECT_EQ(Cli("fault COM1 block ListTag").exit, 0);
    EXPECT_EQ(Cli("fault COM1 tags 20").exit, 0);
    EXPECT_EQ(Cli("fault COM1 type-flag-zero").exit, 0);
    EXPECT_EQ(Cli("fault COM1 station-count-zero on").exit, 0);
    EXPECT_EQ(Cli("latency COM1 25").exit, 0);
    const auto faults = Cli("faults COM1");
    EXPECT_EQ(faults.output,
              "fail fn=Read at=2 code=-3030 times=3\nremove fn=Login at=1\nblock fn=ListTag\n"
              "tags count=20\ntype-flag-zero\nstation-count-zero\nlatency ms=25\n");
    EXPECT_EQ(Cli("fault COM1 release ListTag").exit, 0);
    EXPECT_EQ(Cli("fault COM1 station-count-zero off").exit, 0);
    EXPECT_EQ(field.FaultLines("COM1").size(), 5u);
    EXPECT_EQ(Cli("fault COM1 clear").exit, 0);
    EXPECT_TRUE(field.FaultLines("COM1").empty());

    EXPECT_EQ(Cli("fault COM1 fail Lgin 1 -3000").exit, 3);
    EXPECT_EQ(Cli("fault COM1 fail Read 0 -3000").exit, 3);
    EXPECT_EQ(Cli("fault COM1 fail Read 1").exit, 2);
    EXPECT_EQ(Cli("fault COM5 tags 3").exit, 4);
    EXPECT_EQ(Cli("fault COM1 wobble").exit, 2);
    EXPECT_EQ(Cli("latency COM1 soon").exit, 3);

    {
        const ReaderLib& lib = Lib(false);
        const std::int16_t h = lib.Open(0);
        Listing listing;
        lib.List(h, listing);
        lib.Close(h);
    }
    const auto log = Cli("log COM1");
    EXPECT_NE(log.output.find("ListTag handle=0 station=1 count=0 flag=1 -> 0"), std::string::npos)
        << log.output;
    EXPECT_EQ(Cli("log COM1 --clear").exit, 0);
    EXPECT_TRUE(field.CallLog("COM1").empty());
}

TEST_F(VReaderCli, HelpAndUsageErrors) {
    const auto help = Cli("--help");
    EXPECT_EQ(help.exit, 0);
    EXPECT_NE(help.output.find("new-card 1k|4k|7b"), std::string::npos);
    EXPECT_EQ(Cli("").exit, 2);
    EXPECT_EQ(Cli("frobnicate").exit, 2);
    EXPECT_EQ(Cli("list extra").exit, 2);
    EXPECT_EQ(Cli("new-card 1k --colour red").exit, 2);
    EXPECT_EQ(Cli("new-card 1k --uid").exit, 2);
    const fs::path other = field.Dir() / "elsewhere";
    EXPECT_EQ(Cli("--dir " + other.string() + " init").exit, 0);
    EXPECT_TRUE(fs::is_directory(other / "USB1")) << "--dir overrides the environment";
}

}  // namespace
}  // namespace vreader_test
