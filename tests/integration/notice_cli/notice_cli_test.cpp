// tagquill-notice through its real binary, on a scratch virtual field: COM1 holds
// a blank 1K card, USB1 a 7-byte UID tag, COM3 no card at all, COM4 a 1K card whose
// UID is all zeros.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <future>
#include <iterator>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "control/virtual_field.h"
#include "platform/library.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

struct Outcome {
    int exit = -1;
    std::string out;
    std::string err;
};

std::string Slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class NoticeCli : public ::testing::Test {
protected:
    void SetUp() override {
        field.NewCard("COM1", vreader::CardKind::kClassic1K, vreader::Bytes{1, 2, 3, 4});
        field.NewCard("USB1", vreader::CardKind::kSevenByteUid);
        field.AddReader("COM3");
        field.AddReader("COM4");
        field.NewCard("COM4", vreader::CardKind::kClassic1K, vreader::Bytes{0, 0, 0, 0});
    }

    // Runs the tool with `arguments` (shell words) in the English locale unless
    // `environment` says otherwise; `input` is its stdin.
    Outcome Run(const std::string& arguments, const std::string& input = "",
                const std::string& environment = "LANG=C.UTF-8") const {
        const std::string tag = std::to_string(getpid()) + "-" + std::to_string(++runs_);
        const fs::path in = field.Dir() / ("in-" + tag), out = field.Dir() / ("out-" + tag),
                       err = field.Dir() / ("err-" + tag);
        std::ofstream(in, std::ios::binary) << input;
        const fs::path tool = platform::ProgramModule().file.parent_path() / "tagquill-notice";
        const std::string command = "env -u LC_ALL -u LC_CTYPE -u LC_MESSAGES " + environment +
                                    " " + tool.string() + " " + arguments + " <" + in.string() +
                                    " >" + out.string() + " 2>" + err.string();
        const int status = std::system(command.c_str());
        return Outcome{WIFEXITED(status) ? WEXITSTATUS(status) : -1, Slurp(out), Slurp(err)};
    }

    // Lines the tool has printed so far, for a run started in the background
    // with its output in `out`.
    static std::size_t LinesIn(const fs::path& out) {
        const std::string text = Slurp(out);
        return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
    }
    static bool WaitForLines(const fs::path& out, std::size_t lines) {
        const auto deadline = std::chrono::steady_clock::now() + 15s;
        while (LinesIn(out) < lines) {
            if (std::chrono::steady_clock::now() > deadline) {
                return false;
            }
            std::this_thread::sleep_for(50ms);
        }
        return true;
    }

    vreader::ScopedVirtualField field;
    mutable int runs_ = 0;
};

// Notepad's files: UTF-16 with a byte order mark is text; "ANSI" (here 1251) is
// refused as what it is, not as characters the card cannot hold.
TEST_F(NoticeCli, NotepadFilesInUnicodeAreTextAndAnsiOnesAreRefusedAsNotUtf8) {
    const std::string privetUtf16Le("\xFF\xFE\x1F\x04\x40\x04\x38\x04\x32\x04\x35\x04\x42\x04", 14);
    const std::string privetUtf16Be("\xFE\xFF\x04\x1F\x04\x40\x04\x38\x04\x32\x04\x35\x04\x42", 14);
    const std::string ru = "LANG=ru_RU.UTF-8";
    for (const std::string& file : {privetUtf16Le, privetUtf16Be}) {
        EXPECT_EQ(Run("write --reader COM1 --file -", file, ru).exit, 0);
        EXPECT_EQ(Run("read --reader COM1", "", ru).out, "Привет\n");
    }
    const Outcome ansi = Run("write --reader COM1 --file -", "\xCF\xF0\xE8\xE2\xE5\xF2", ru);
    EXPECT_EQ(ansi.exit, 6);
    EXPECT_NE(ansi.err.find("the notice from stdin is not UTF-8 text"), std::string::npos)
        << ansi.err;
    EXPECT_EQ(Run("read --reader COM1", "", ru).out, "Привет\n");

    // Without the byte order mark every other byte is NUL: stored, the card would
    // hold a length that Load cuts at the first NUL.
    const Outcome nul = Run("write --reader COM1 --file -", std::string("H\0i\0", 4), ru);
    EXPECT_EQ(nul.exit, 6);
    EXPECT_NE(nul.err.find("the notice from stdin contains a NUL character"), std::string::npos)
        << nul.err;
    EXPECT_EQ(Run("read --reader COM1", "", ru).out, "Привет\n");
}

struct Step {
    const char* arguments;
    const char* input;
    int exit;
    const char* out;  // the whole of stdout
    const char* err;  // a part of stderr ("" for none at all)
    const char* environment = "LANG=C.UTF-8";
};

// One card's life, in order: every row works on what the rows before it left.
TEST_F(NoticeCli, EveryCommandKeepsTheWindowsRulesAndExitCodes) {
    const std::string tooLong(751, 'x');
    const std::string tooLongRow = "write --reader COM1 " + tooLong;
    const Step steps[] = {
        {"write --reader COM1 'Hello\nWörld'", "", 0, "", ""},
        {"read --reader COM1", "", 0, "Hello\nWörld\n", ""},
        // A file's (here stdin's) final line break is the end of the file, not text.
        {"write --reader COM1 --file -", "Grüße\n", 0, "", ""},
        {"read --reader COM1 --key-file -", "\n", 0, "Grüße\n", ""},
        {"info --reader COM1", "", 0, "UID 01020304  MIFARE Classic 1K  notice 5 / 750\n", ""},
        {"write --reader COM1 日本", "", 6, "",
         "80004005 : PCSCCard_Mifare : The text contains characters that cannot be stored on "
         "the card"},
        {tooLongRow.c_str(), "", 6, "",
         "80004005 : PCSCCard_Mifare : Invalid parameter (the notice is 751 bytes; this card "
         "holds 750)"},
        // Nothing from a pipe is not a wish to empty the notice.
        {"write --reader COM1", "", 6, "",
         "the notice from stdin is empty; to empty the notice "
         "use 'clear' or write \"\""},
        {"write --reader COM1 --file -", "\n", 6, "", "is empty"},
        {"read --reader COM1", "", 0, "Grüße\n", ""},  // refusals wrote nothing
        {"read --reader COM1 --key abc", "", 5, "", "80004005 : ACR120 : Login failed"},
        // What info learnt before the key failed.
        {"info --reader COM1 --key abc", "", 5, "UID 01020304  MIFARE Classic 1K\n",
         "Login failed"},
        {"read --reader COM1 --key abc", "", 5, "", "80004005 : ACR120 : Ошибка аутентификации",
         "LANG=ru_RU.UTF-8"},
        {"read --reader COM1 --key 1234567", "", 5, "", "Access code is too long"},
        // Without a new key it would put the factory key on every sector and erase the
        // notice.
        {"change-key --reader COM1", "", 2, "", "--new-key"},
        {"read --reader COM1", "", 0, "Grüße\n", ""},
        {"change-key --reader COM1 --new-key-file -", "k1\nignored\n", 0,
         "Code changed successfully !\n", ""},
        {"read --reader COM1", "", 5, "", "Login failed"},
        {"read --reader COM1 --key k1", "", 0, "\n", ""},
        // The Russian locale stores in 1251; another language reads it with --code-page.
        {"write --reader COM1 --key k1 Привет", "", 0, "", "", "LANG=ru_RU.UTF-8"},
        {"read --reader COM1 --key k1", "", 0, "Ïðèâåò\n", ""},
        {"read --reader COM1 --key k1 --code-page 1251", "", 0, "Привет\n", ""},
        {"write --reader COM1 --key k1 'a notice long enough to reach a second block'", "", 0, "",
         ""},
        {"write --reader COM1 --key k1 ''", "", 0, "", ""},
        {"info --reader COM1 --key k1", "", 0, "UID 01020304  MIFARE Classic 1K  notice 0 / 750\n",
         ""},
        {"clear --reader COM1 --key k1", "", 0, "", ""},
        {"read --reader COM1 --key k1", "", 0, "\n", ""},
        {"read --reader USB1", "", 4, "", "PCSCCard_Mifare : Unsupported token type"},
        {"read --reader COM3", "", 4, "", "No card in reachable range"},
        {"read --reader COM3 --wait 0.3", "", 7, "", "no card came within 0.3 s"},
        {"read --reader COM5", "", 3, "", "ACR120 : The port is invalid"},
        // A name no reader can have is a typing error: the readers found are listed.
        {"read --reader LPT1", "", 2, "", "unknown reader LPT1: COM1..COM8 or USB1..USB8 (found "},
        {"read --reader USB9", "", 2, "", "USB1"},
        {"write --reader COM1 --file /nonexistent/notice.txt", "", 1, "", "cannot read"},
        {"write --reader COM1 --file /", "", 1, "", "/ is a folder, not a file"},
        {"info --reader COM4", "", 0, "UID 00000000  MIFARE Classic 1K  notice 0 / 750\n", ""},
        {"read --reader COM1 --code-page 437", "", 2, "", "--code-page"},
        {"write --reader COM1 --key-file - --file -", "", 2, "", "stdin"},
        {"erase --reader COM1", "", 2, "", "unknown command"},
    };
    for (const Step& step : steps) {
        const Outcome outcome = Run(step.arguments, step.input, step.environment);
        EXPECT_EQ(outcome.exit, step.exit) << step.arguments << "\n" << outcome.err;
        EXPECT_EQ(outcome.out, step.out) << step.arguments;
        if (*step.err == '\0') {
            EXPECT_EQ(outcome.err, "") << step.arguments;
        } else {
            EXPECT_NE(outcome.err.find(step.err), std::string::npos) << step.arguments << "\n"
                                                                     << outcome.err;
        }
    }
    // clear left no byte of the old text on the card: blocks 1 and 2 hold zeros.
    const vreader::Bytes image = field.ReadCard("COM1/" + field.Field("COM1").front().name);
    EXPECT_EQ(vreader::Bytes(image.begin() + 16, image.begin() + 48), vreader::Bytes(32, 0));
}

TEST_F(NoticeCli, JsonGivesOneParsableObjectPerOutcome) {
    ASSERT_EQ(Run("write --reader COM1 'two\nlines'").exit, 0);
    const auto read = nlohmann::json::parse(Run("read --reader COM1 --json").out);
    EXPECT_EQ(read, nlohmann::json::parse(R"({"reader": "COM1", "uid": "01020304",
        "card": "MIFARE Classic 1K", "ok": true, "capacity": 750, "length": 10,
        "notice": "two\nlines"})"));

    // Every line names the card, null when none was reached.
    for (const char* arguments : {"read --reader COM3 --json", "read --reader COM5 --json"}) {
        const auto line = nlohmann::json::parse(Run(arguments).out);
        EXPECT_TRUE(line.contains("uid") && line["uid"].is_null()) << arguments;
        EXPECT_TRUE(line.contains("card") && line["card"].is_null()) << arguments;
    }

    const Outcome failed = Run("info --reader COM1 --key wrong --json");
    EXPECT_EQ(failed.exit, 5);
    const auto error = nlohmann::json::parse(failed.out);
    EXPECT_EQ(error["ok"], false);
    EXPECT_EQ(error["exit"], 5);
    EXPECT_EQ(error["uid"], "01020304");
    EXPECT_EQ(error["error"]["text"], "80004005 : ACR120 : Login failed");
    EXPECT_EQ(error["error"]["source"], "ACR120");
    EXPECT_EQ(error["error"]["description"], "Login failed");
}

TEST_F(NoticeCli, AnInterruptedKeyChangeKeepsItsCauseInTheExitCodeAndJson) {
    // The 40th login is one of the new key's checks, after every trailer was written.
    field.FailCall("COM1", "Login", 40, -3000);
    const Outcome cut = Run("change-key --reader COM1 --new-key k1 --json");
    EXPECT_EQ(cut.exit, 4) << cut.out;
    const auto error = nlohmann::json::parse(cut.out)["error"];
    EXPECT_EQ(error["source"], "PCSCCard_Mifare");
    EXPECT_NE(error["description"].get<std::string>().find(
                  "run the same key change again to finish it. Cause: 80004005 : ACR120 : "),
              std::string::npos);
    EXPECT_EQ(error["cause"]["source"], "ACR120");
    EXPECT_EQ(error["cause"]["status"], "80004005");
    EXPECT_EQ(error["cause"]["text"],
              "80004005 : ACR120 : " + error["cause"]["description"].get<std::string>());
    EXPECT_EQ(Run("change-key --reader COM1 --new-key k1").exit, 0);
    // Done, and the notice still empty: the same change again is done, writing nothing.
    EXPECT_EQ(Run("change-key --reader COM1 --new-key k1").exit, 0);
}

TEST_F(NoticeCli, WaitsForACardPutDownLater) {
    field.RemoveCard("COM1");
    auto run = std::async(std::launch::async, [&] { return Run("info --reader COM1 --wait 20"); });
    std::this_thread::sleep_for(1500ms);
    field.PlaceCard("card-01020304.mfd", "COM1");
    const Outcome outcome = run.get();
    EXPECT_EQ(outcome.exit, 0) << outcome.err;
    EXPECT_EQ(outcome.out, "UID 01020304  MIFARE Classic 1K  notice 0 / 750\n");
}

// Three cards, each put down, done and taken away by the test; a card left in the
// field is done once only.
TEST_F(NoticeCli, EachDoesEveryCardOnceUntilTheCount) {
    field.RemoveCard("COM1");
    std::vector<std::string> cards;
    for (std::uint8_t first : {0x11, 0x22, 0x33}) {
        const vreader::Bytes uid{first, 0, 0, 1};
        cards.push_back(field.NewCard("COM1", vreader::CardKind::kClassic1K, uid).filename());
        field.RemoveCard("COM1");
    }
    const fs::path out = field.Dir() / "each.out";
    const fs::path tool = platform::ProgramModule().file.parent_path() / "tagquill-notice";
    auto run = std::async(std::launch::async, [&] {
        return std::system((tool.string() + " write Batch --reader COM1 --each --count 3 >" +
                            out.string() + " 2>&1")
                               .c_str());
    });
    for (std::size_t card = 0; card < 3; ++card) {
        field.PlaceCard(cards[card], "COM1");
        ASSERT_TRUE(WaitForLines(out, card + 1)) << Slurp(out);
        std::this_thread::sleep_for(1200ms);  // more than two listings of the monitor
        EXPECT_EQ(LinesIn(out), card + 1) << Slurp(out);
        field.RemoveCard("COM1");
    }
    const int status = run.get();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(Slurp(out),
              "11000001\twritten 5 / 750\n22000001\twritten 5 / 750\n33000001\twritten 5 / 750\n");
    EXPECT_EQ(Run("read --reader COM1", "", "LANG=C.UTF-8").exit, 4);  // field empty again
}

}  // namespace
