// The tagquill-vreader tool, run as a user runs it, on a scratch state folder.

#ifndef _WIN32
#include <sys/wait.h>
#endif

#include <cstdlib>
#include <fstream>

#include "control/card_formats.h"
#include "core/files.h"
#include "core/state.h"
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
    static Outcome Cli(const std::string& arguments) {
        const fs::path out = fs::temp_directory_path() /
                             ("vreader-cli-" + std::to_string(vreader::files::ProcessId()));
        const int status = std::system(((ExecutableDir() / "tagquill-vreader").string() + " " +
                                        arguments + " >" + out.string() + " 2>&1")
                                           .c_str());
#ifdef _WIN32
        const int exit = status;  // the command's own exit code
#else
        const int exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
        Outcome outcome{exit, Slurp(out.string())};
        fs::remove(out);
        return outcome;
    }
    static int Exit(const std::string& arguments) {
        return Cli(arguments).exit;
    }
    static void ExpectExits(std::initializer_list<std::pair<std::string, int>> commands) {
        for (const auto& [arguments, code] : commands) {
            EXPECT_EQ(Exit(arguments), code) << arguments;
        }
    }
    std::string Scratch(const std::string& name) const {
        return (field.Dir() / name).string();
    }
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
    ExpectExits(
        {{"add-reader com3 --station 9", 0}, {"add-reader COM3", 7}, {"add-reader COM9", 3}});
    EXPECT_EQ(field.Station("COM3"), 9);

    ExpectExits({{"new-card 4k --uid 01:02:03:04", 0},
                 {"new-card 4k --uid 01020304", 7},  // same default name
                 {"new-card 1k --uid 0102 --name x.mfd", 3},
                 {"new-card 7b --uid 04112233445566 --reader USB1", 0}});
    ASSERT_EQ(field.OffFieldCards().size(), 1u);
    EXPECT_EQ(field.OffFieldCards()[0].kind, vreader::CardKind::kClassic4K);
    EXPECT_EQ(field.Field("USB1").at(0).kind, vreader::CardKind::kSevenByteUid);

    ExpectExits({{"place card-01020304.mfd COM3", 0},
                 {"place card-01020304.mfd COM1", 4},  // no longer in the cards folder
                 {"place card-01020304.mfd COM4", 4}});
    EXPECT_TRUE(field.OffFieldCards().empty());
    const auto listed = Cli("list");
    EXPECT_EQ(listed.exit, 0);
    EXPECT_NE(listed.output.find("COM3 (station 9)"), std::string::npos) << listed.output;
    EXPECT_NE(listed.output.find("card-01020304.mfd  MIFARE Classic 4K  UID 01020304"),
              std::string::npos);

    ExpectExits({{"remove COM3", 0}, {"remove COM3", 4}, {"remove-reader COM3", 0}});
    EXPECT_FALSE(field.HasReader("COM3"));
}

TEST_F(VReaderCli, PlacesADumpFromAnotherToolAsARawCopy) {
    Bytes image = vreader::MakeBlankCard(vreader::CardKind::kClassic1K, kUid1);
    image[4 * 16] = 0x77;
    const std::string eml = Scratch("dump.eml");
    vreader::SaveDump(eml, image);
    ASSERT_EQ(Exit("place " + eml + " COM1 --name mine.mfd"), 0);
    EXPECT_EQ(field.ReadCard("COM1/mine.mfd"), image);
    EXPECT_TRUE(fs::exists(eml)) << "the user's file stays";
    EXPECT_EQ(Exit("place " + eml + " COM1 --name mine.mfd"), 7);

    // MIFARE Classic Tool saves its dumps as .txt: the content tells.
    const std::string txt = Scratch("mct-dump.txt");
    Spill(txt, vreader::FormatDump(image, vreader::DumpFormat::kMct));
    ExpectExits({{"place " + txt + " COM1", 0},
                 {"show " + txt, 0},
                 {"place " + eml + " COM1 --name as-mct.mfd --from mct", 6}});
    EXPECT_EQ(field.ReadCard("COM1/mct-dump.mfd"), image);
}

TEST_F(VReaderCli, HugeFilesMissingCardsAndBadFoldersOrNamesAreTold) {
    const std::string huge = Scratch("huge.bin");
    Spill(huge, "");
    fs::resize_file(huge, 50u << 20);
    ExpectExits({{"show " + huge, 5}, {"show /dev/zero", 5}, {"--dir /etc/passwd list", 3}});
    // A folder where a card belongs, outside the state folder and in a field.
    const std::string folder = Scratch("adir.mfd");
    fs::create_directory(folder);
    fs::create_directory(field.ReaderDir("COM1") / "sub.mfd");
    for (const std::string& command :
         std::vector<std::string>{"show " + folder, "place " + folder + " COM1",
                                  "convert " + folder + " " + Scratch("out.eml"),
                                  "show COM1/sub.mfd", "remove COM1 sub.mfd"}) {
        const auto outcome = Cli(command);
        EXPECT_EQ(outcome.exit, 3) << command;
        EXPECT_NE(outcome.output.find("mfd is a folder, not a card image"), std::string::npos)
            << command << ": " << outcome.output;
    }
    // A file in a field that the listing passes over for its size.
    Spill((field.ReaderDir("COM1") / "short.mfd").string(), std::string(1000, '\0'));
    for (const std::string command : {"show COM1/short.mfd", "remove COM1 short.mfd"}) {
        const auto outcome = Cli(command);
        EXPECT_EQ(outcome.exit, 5) << command;
        EXPECT_NE(outcome.output.find("short.mfd holds 1000 bytes"), std::string::npos)
            << command << ": " << outcome.output;
    }
    const auto missing = Cli("remove COM1 nosuch.mfd");
    EXPECT_EQ(missing.exit, 4);
    EXPECT_EQ(missing.output.find("Taken away"), std::string::npos) << missing.output;
    const auto slash = Cli("new-card 1k --name sub/evil.mfd");
    EXPECT_EQ(slash.exit, 3);
    EXPECT_NE(slash.output.find("'/'"), std::string::npos) << slash.output;
}

TEST_F(VReaderCli, ConversionsRoundTripByteForByte) {
    Bytes image4k = vreader::MakeBlankCard(vreader::CardKind::kClassic4K, kUid2);
    for (std::size_t i = 16; i < image4k.size(); i += 7) {
        image4k[i] = static_cast<std::uint8_t>(i * 31);  // everything, trailers too
    }
    Bytes image7 =
        vreader::MakeBlankCard(vreader::CardKind::kSevenByteUid, Bytes{0x04, 1, 2, 3, 4, 5, 6});
    image7[20] = 0xAB;
    for (const auto& [image, formats] :
         {std::pair{image4k, std::vector<std::string>{"eml", "json", "mct", "bin"}},
          std::pair{image7, std::vector<std::string>{"eml", "json", "dump"}}}) {
        std::string previous = Scratch("start.mfd");
        Spill(previous, std::string(image.begin(), image.end()));
        for (const auto& format : formats) {
            const std::string next = Scratch("step." + format);
            const auto outcome = Cli("convert " + previous + " " + next);
            ASSERT_EQ(outcome.exit, 0) << format << ": " << outcome.output;
            previous = next;
        }
        const std::string back = Slurp(previous);
        EXPECT_EQ(Bytes(back.begin(), back.end()), image);
    }
    const std::string eml = Scratch("step.eml"), txt = Scratch("x.txt");
    ExpectExits({{"convert " + Scratch("step.dump") + " " + Scratch("x.mct"), 5},  // Classic only
                 {"convert " + eml + " " + txt, 3},
                 {"convert " + eml + " " + txt + " --to raw", 0}});
    EXPECT_EQ(Slurp(txt).size(), 64u);
}

TEST_F(VReaderCli, RejectsBadDumpsWithDistinctCodesAndWritesNothing) {
    Spill(Scratch("short.bin"), std::string(1000, '\0'));
    auto outcome = Cli("convert " + Scratch("short.bin") + " " + Scratch("out.eml"));
    EXPECT_EQ(outcome.exit, 5);
    EXPECT_NE(outcome.output.find("1000 bytes"), std::string::npos) << outcome.output;

    std::string eml = vreader::FormatDump(
        vreader::MakeBlankCard(vreader::CardKind::kClassic1K, kUid1), vreader::DumpFormat::kEml);
    eml[40] = 'g';
    Spill(Scratch("bad.eml"), eml);
    outcome = Cli("convert " + Scratch("bad.eml") + " " + Scratch("out.mfd"));
    EXPECT_EQ(outcome.exit, 6);
    EXPECT_NE(outcome.output.find("line 2"), std::string::npos) << outcome.output;

    Spill(Scratch("bad.json"), "{\"FileType\": \"mfc v2\", \"blocks\": {\"0\": \"00\"");
    Spill(Scratch("escape.json"), "{\"blocks\": {\"0\": \"\\u00zz\"}}");
    Spill(Scratch("bad.mct"), "+Sector: 0\n" + std::string(32, '-') + "\n");
    ExpectExits({{"convert " + Scratch("bad.json") + " " + Scratch("out.mfd"), 6},
                 {"convert " + Scratch("escape.json") + " " + Scratch("out.mfd"), 6},
                 {"show " + Scratch("bad.mct"), 6},
                 {"show nowhere.mfd", 4}});
    EXPECT_FALSE(fs::exists(Scratch("out.eml")));
    EXPECT_FALSE(fs::exists(Scratch("out.mfd")));
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
        EXPECT_NE(shown.output.find(expected), std::string::npos) << expected << "\n"
                                                                  << shown.output;
    }
}

TEST_F(VReaderCli, SetsFaultsAndLatencyAndShowsTheLog) {
    ExpectExits({{"fault COM1 fail ACR120_Read 2 -3030 3", 0},
                 {"fault COM1 remove Login 1", 0},
                 {"fault COM1 block ListTag", 0},
                 {"fault COM1 tags 20", 0},
                 {"fault COM1 type-flag-zero", 0},
                 {"fault COM1 station-count-zero on", 0},
                 {"latency COM1 25", 0}});
    EXPECT_EQ(Cli("faults COM1").output,
              "fail fn=Read at=2 code=-3030 times=3\nremove fn=Login at=1\nblock fn=ListTag\n"
              "tags count=20\ntype-flag-zero\nstation-count-zero\nlatency ms=25\n");
    ExpectExits({{"fault COM1 release ListTag", 0}, {"fault COM1 station-count-zero off", 0}});
    EXPECT_EQ(field.FaultLines("COM1").size(), 5u);
    EXPECT_EQ(Exit("fault COM1 clear"), 0);
    EXPECT_TRUE(field.FaultLines("COM1").empty());
    ExpectExits({{"fault COM1 fail Lgin 1 -3000", 3},
                 {"fault COM1 fail Read 0 -3000", 3},
                 {"fault COM1 fail Read 1", 2},
                 {"fault COM5 tags 3", 4},
                 {"fault COM1 wobble", 2},
                 {"latency COM1 soon", 3}});

    const std::int16_t h = Lib(false).Open(0);
    Listing listing;
    Lib(false).List(h, listing);
    Lib(false).Close(h);
    const auto log = Cli("log COM1");
    EXPECT_NE(log.output.find("ListTag handle=0 station=1 count=0 flag=1 -> 0"), std::string::npos)
        << log.output;
    EXPECT_EQ(Exit("log COM1 --clear"), 0);
    EXPECT_TRUE(field.CallLog("COM1").empty());
}

// Files edited by hand: the readers act on what they can read, and the tool says what
// it cannot and changes none of it.
TEST_F(VReaderCli, BadFaultAndStationLinesAreToldAndKept) {
    const fs::path reader = field.ReaderDir("COM1");
    const std::string bad =
        "fial fn=Read at=1 code=1\nremove fn=Read at=1 code=4\ntags count=-1\nlatency\n";
    Spill((reader / "faults").string(), "fail fn=ListTag at=1 code=-3030\n\n" + bad);
    Spill((reader / "station").string(), "two\n");
    const auto faults = Cli("faults COM1");
    EXPECT_EQ(faults.exit, 6);
    for (const char* expected :
         {"fail fn=ListTag at=1 code=-3030 times=1\n", "faults line 3: unknown fault 'fial'",
          "line 4: 'code=' is no part of a remove fault (expected remove fn=FUNCTION at=N)",
          "line 5: 'count' needs a number 0 or more, not '-1'", "line 6: missing ms="}) {
        EXPECT_NE(faults.output.find(expected), std::string::npos) << expected << "\n"
                                                                   << faults.output;
    }
    const auto listed = Cli("list");
    EXPECT_EQ(listed.exit, 6);
    EXPECT_NE(listed.output.find("COM1 (station 1) [1 fault(s)]"), std::string::npos);
    EXPECT_NE(listed.output.find("station holds 'two', not a station number 0..255"),
              std::string::npos)
        << listed.output;
    EXPECT_NE(listed.output.find("faults line 3"), std::string::npos) << listed.output;

    const std::string before = Slurp((reader / "faults").string());
    ExpectExits({{"fault COM1 tags 3", 6}, {"latency COM1 5", 6}});
    EXPECT_EQ(Slurp((reader / "faults").string()), before);

    // The libraries answer as station 1, count the good fault down and keep the rest.
    const std::int16_t h = Lib(false).Open(0);
    Listing listing;
    EXPECT_EQ(Lib(false).List(h, listing), -3030);
    EXPECT_EQ(Lib(false).List(h, listing), rc::kOk);
    Lib(false).Close(h);
    EXPECT_EQ(Slurp((reader / "faults").string()), bad);

    EXPECT_EQ(Exit("fault COM1 clear"), 0);
    EXPECT_EQ(Cli("faults COM1").output, "");
}

TEST_F(VReaderCli, HelpAndUsageErrors) {
    const auto help = Cli("--help");
    EXPECT_EQ(help.exit, 0);
    EXPECT_NE(help.output.find("new-card 1k|4k|7b"), std::string::npos);
    ExpectExits({{"", 2},
                 {"frobnicate", 2},
                 {"list extra", 2},
                 {"new-card 1k --colour red", 2},
                 {"new-card 1k --uid", 2}});
    for (const std::string misplaced : {"--bogus list", "list --bogus"}) {
        const auto outcome = Cli(misplaced);
        EXPECT_EQ(outcome.exit, 2) << misplaced;
        EXPECT_NE(outcome.output.find("unknown option --bogus"), std::string::npos) << misplaced;
    }
    const fs::path other = field.Dir() / "elsewhere";
    EXPECT_EQ(Exit("--dir " + other.string() + " init"), 0);
    EXPECT_TRUE(fs::is_directory(vreader::state::ReaderFolder(other, "USB1")))
        << "--dir overrides the environment";
}

}  // namespace
}  // namespace vreader_test
