// The virtual reader's state folder on POSIX: where it lies without HOME, who may
// read what lies in it, and that nothing in it is followed or waited on, whatever
// another user or a mistake put there under a state file's name.

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <future>
#include <optional>
#include <string>
#include <thread>

#include "control/card_formats.h"
#include "control/virtual_field.h"
#include "core/files.h"
#include "core/state.h"

namespace {

namespace fs = std::filesystem;
namespace st = vreader::state;
using vreader::Bytes;
using vreader::CardKind;
using namespace std::chrono_literals;

class ScopedVariable {
public:
    explicit ScopedVariable(const char* name) : name_(name) {
        if (const char* value = std::getenv(name)) {
            previous_ = value;
        }
    }
    ~ScopedVariable() { vreader::files::SetEnvironment(name_, previous_); }
    ScopedVariable(const ScopedVariable&) = delete;
    ScopedVariable& operator=(const ScopedVariable&) = delete;

private:
    const char* name_;
    std::optional<std::string> previous_;
};

mode_t ModeOf(const fs::path& path) {
    struct stat info {};
    EXPECT_EQ(::lstat(path.c_str(), &info), 0) << path;
    return info.st_mode & 07777;
}

TEST(StateFolder, WithoutHomeItLiesInTheHomeFolderOfThePasswordDatabase) {
    const ScopedVariable home("HOME");
    const ScopedVariable xdg("XDG_STATE_HOME");
    vreader::files::SetEnvironment("HOME", std::nullopt);
    vreader::files::SetEnvironment("XDG_STATE_HOME", std::nullopt);
    const passwd* user = ::getpwuid(::getuid());
    ASSERT_NE(user, nullptr);
    EXPECT_EQ(st::DefaultStateDir(),
              fs::path(user->pw_dir) / ".local" / "state" / "tagquill" / "vreader");
    vreader::files::SetEnvironment("HOME", "");
    EXPECT_EQ(st::DefaultStateDir(),
              fs::path(user->pw_dir) / ".local" / "state" / "tagquill" / "vreader");
}

// Under the usual umask (022), which alone would leave everything readable by all.
TEST(StateFolder, FoldersAreTheUsersAloneAndSoAreFilesAlsoWhenRewritten) {
    const mode_t umaskBefore = ::umask(022);
    const vreader::ScopedVirtualField scoped;
    const fs::path dir = scoped.Dir() / "made" / "here";
    vreader::VirtualField field(dir);
    field.AddReader("USB2");
    const fs::path reader = field.ReaderDir("USB2");
    const fs::path card = field.NewCard("USB2", CardKind::kClassic1K);
    st::AppendCallLog(reader, "Open port=1 -> 0");
    { const st::FieldLock lock(reader); }
    vreader::SaveDump(scoped.Dir() / "card.json",
                      field.ReadCard("USB2/" + card.filename().string()));

    for (const fs::path& folder : {scoped.Dir() / "made", dir, reader, field.CardsDir()}) {
        EXPECT_EQ(ModeOf(folder), 0700u) << folder;
    }
    for (const char* name : {st::kStationFile, st::kEepromFile, st::kKeysFile, st::kFaultsFile,
                             st::kCallLogFile, st::kFieldLockFile}) {
        EXPECT_EQ(ModeOf(reader / name), 0600u) << name;
    }
    EXPECT_EQ(ModeOf(card), 0600u);
    EXPECT_EQ(ModeOf(scoped.Dir() / "card.json"), 0600u);

    // Rewritten: a new file under the old name, as private as the first.
    fs::permissions(reader / st::kKeysFile, fs::perms::owner_read | fs::perms::owner_write);
    field.SetStoredKey("USB2", 3, {1, 2, 3, 4, 5, 6});
    field.WriteCard("USB2", card.filename().string(), vreader::MakeBlankCard(CardKind::kClassic1K));
    EXPECT_EQ(ModeOf(reader / st::kKeysFile), 0600u);
    EXPECT_EQ(ModeOf(card), 0600u);
    ::umask(umaskBefore);
}

// Links to files outside the field: a card another user wants served, and a log
// and a lock that would write into a file of theirs.
TEST(StateFolder, SymbolicLinksAreNeitherReadNorWrittenThrough) {
    vreader::ScopedVirtualField field;
    const fs::path reader = field.ReaderDir("USB1");
    const fs::path outside = field.Dir() / "outside";
    fs::create_directory(outside);
    const Bytes image = vreader::MakeBlankCard(CardKind::kClassic1K);
    std::ofstream(outside / "card.mfd", std::ios::binary)
        .write(reinterpret_cast<const char*>(image.data()),
               static_cast<std::streamsize>(image.size()));
    std::ofstream(outside / "theirs.txt") << "theirs\n";
    fs::create_symlink(outside / "card.mfd", reader / "card.mfd");
    fs::create_symlink(outside / "theirs.txt", reader / st::kCallLogFile);
    fs::create_symlink(outside / "theirs.txt", reader / st::kFieldLockFile);

    EXPECT_TRUE(st::ListCards(reader).empty());
    EXPECT_FALSE(st::ReadFileBytes(reader / "card.mfd"));
    st::AppendCallLog(reader, "Open port=0 -> 0");
    const vreader::files::FileLock lock(reader / st::kFieldLockFile, false);
    EXPECT_FALSE(lock.Locked());
    std::ifstream theirs(outside / "theirs.txt");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(theirs), {}), "theirs\n");
}

// A FIFO under a state file's name holds nothing up: the listing (the monitor's,
// twice a second, and the window's) reads no card from it, and the call log and
// lock are not written into it. Should a call wait after all, the test opens the
// other end so that it ends.
TEST(StateFolder, AFifoUnderAStateFilesNameIsSkippedWithoutWaiting) {
    vreader::ScopedVirtualField field;
    const fs::path reader = field.ReaderDir("USB1");
    for (const char* name : {"card.mfd", st::kCallLogFile, st::kOpenLockFile}) {
        ASSERT_EQ(::mkfifo((reader / name).c_str(), 0600), 0) << name;
    }
    field.NewCard("USB1", CardKind::kClassic4K, std::nullopt, "later.mfd");
    auto listed = std::async(std::launch::async, [&] {
        const auto cards = st::ListCards(reader);
        st::AppendCallLog(reader, "ListTags handle=0 -> 0");
        const vreader::files::FileLock lock(reader / st::kOpenLockFile, false);
        return cards.size() == 1 && cards[0].name == "later.mfd" && !lock.Locked();
    });
    const bool prompt = listed.wait_for(5s) == std::future_status::ready;
    EXPECT_TRUE(prompt) << "a state file call waits on a FIFO";
    for (int i = 0; !prompt && i < 3; ++i) {
        // Whichever end it waits on: a writer for the card, a reader for the log.
        const int writer = ::open((reader / "card.mfd").c_str(), O_WRONLY | O_NONBLOCK);
        const int logReader = ::open((reader / st::kCallLogFile).c_str(), O_RDONLY | O_NONBLOCK);
        const int lockWriter = ::open((reader / st::kOpenLockFile).c_str(), O_RDWR | O_NONBLOCK);
        std::this_thread::sleep_for(200ms);
        for (const int fd : {writer, logReader, lockWriter}) {
            if (fd >= 0) {
                ::close(fd);
            }
        }
    }
    EXPECT_TRUE(listed.get());
}

}  // namespace
