#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <vector>

#include "core/files.h"
#include "core/read_loop.h"

namespace vreader::files {

namespace {

bool WriteAll(int fd, const std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// How every state file is opened. Private to the user: the call log holds notice
// text, the keys file and card dumps hold keys. Never through a symbolic link,
// which another user could lay in a shared folder, and never waiting: a FIFO under
// a state file's name would otherwise hold a listing (and the program's monitor
// and window) until someone writes to it. What is opened must then prove to be a
// regular file.
constexpr int kStateFileFlags = O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK;
constexpr mode_t kStateFileMode = 0600;
constexpr mode_t kStateFolderMode = 0700;

bool IsRegularFile(int fd) {
    struct stat info {};
    return ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
}

// Closes a descriptor also when a cancelled thread unwinds through its owner.
struct Fd {
    int fd;
    explicit Fd(int value) : fd(value) {}
    ~Fd() {
        if (fd >= 0) {
            ::close(fd);
        }
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
};

}  // namespace

FileLock::FileLock(const fs::path& path, bool wait) {
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | kStateFileFlags, kStateFileMode);
    if (fd < 0) {
        return;
    }
    handle_ = fd;
    if (!IsRegularFile(fd)) {
        return;
    }
    int rc = 0;
    while ((rc = ::flock(fd, wait ? LOCK_EX : LOCK_EX | LOCK_NB)) != 0 && errno == EINTR) {
    }
    locked_ = rc == 0;
    busy_ = !locked_ && errno == EWOULDBLOCK;
}

FileLock::~FileLock() {
    if (handle_ >= 0) {
        ::close(static_cast<int>(handle_));  // releases the lock
    }
}

std::optional<Bytes> ReadWholeFile(const fs::path& path, std::uintmax_t limit) {
    Fd file(::open(path.c_str(), O_RDONLY | kStateFileFlags));
    if (file.fd < 0 || !IsRegularFile(file.fd)) {
        return std::nullopt;
    }
    return ReadToEnd(
        [&](std::uint8_t* buffer, std::size_t room) -> std::optional<std::size_t> {
            for (;;) {
                const ssize_t n = ::read(file.fd, buffer, room);
                if (n >= 0) {
                    return static_cast<std::size_t>(n);
                }
                if (errno != EINTR) {
                    return std::nullopt;
                }
            }
        },
        limit);
}

bool ReplaceThroughTemp(const fs::path& temp, const fs::path& path, const Bytes& data) {
    {
        // A new file each time, so the replaced file's mode is this one's.
        Fd file(
            ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | kStateFileFlags, kStateFileMode));
        if (file.fd < 0) {
            return false;
        }
        if (!WriteAll(file.fd, data.data(), data.size()) || ::fsync(file.fd) != 0) {
            ::unlink(temp.c_str());
            return false;
        }
    }
    if (::rename(temp.c_str(), path.c_str()) != 0) {
        ::unlink(temp.c_str());
        return false;
    }
    return true;
}

MoveResult MoveNoReplace(const fs::path& from, const fs::path& to) {
    // link + unlink never replaces a file already lying there.
    if (::link(from.c_str(), to.c_str()) != 0) {
        return errno == EEXIST ? MoveResult::kTargetExists : MoveResult::kFailed;
    }
    ::unlink(from.c_str());
    return MoveResult::kMoved;
}

void AppendChunk(const fs::path& path, const std::string& text, std::uintmax_t limit) {
    Fd file(::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | kStateFileFlags, kStateFileMode));
    struct stat info {};
    if (file.fd < 0 || ::fstat(file.fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        return;
    }
    if (static_cast<std::uintmax_t>(info.st_size) > limit) {
        if (::ftruncate(file.fd, 0) != 0) {
            return;
        }
    }
    // One write: O_APPEND keeps chunks of concurrent callers whole.
    WriteAll(file.fd, reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
}

const char* const kReaderFolderSuffix = "";

bool MakeFolders(const fs::path& folder) {
    // Every folder made here is the user's alone; folders that exist keep their mode.
    fs::path partial;
    for (const fs::path& part : folder) {
        partial /= part;
        if (::mkdir(partial.c_str(), kStateFolderMode) != 0 && errno != EEXIST) {
            return false;
        }
    }
    std::error_code ec;
    return fs::is_directory(folder, ec);
}

void AnnounceFaultChange(const fs::path&) {}

// A cancellation point: the program ends a hung monitor thread with pthread_cancel,
// which must find it here holding no lock.
void SleepMilliseconds(long milliseconds) {
    timespec remaining{milliseconds / 1000, (milliseconds % 1000) * 1000000};
    while (::nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
    }
}

unsigned long ProcessId() {
    return static_cast<unsigned long>(::getpid());
}

namespace {

// The user's home folder: HOME, else the password database's entry. Never a shared
// folder such as /tmp, where another user could make the state folder first and
// lay readers in it that the library would serve.
fs::path HomeFolder() {
    const char* home = std::getenv("HOME");
    if (home != nullptr && *home != '\0') {
        return home;
    }
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> text(size > 0 ? static_cast<std::size_t>(size) : 16384);
    passwd entry{};
    passwd* found = nullptr;
    while (::getpwuid_r(::getuid(), &entry, text.data(), text.size(), &found) == ERANGE) {
        text.resize(text.size() * 2);
    }
    if (found == nullptr || found->pw_dir == nullptr || found->pw_dir[0] != '/') {
        return {};
    }
    return found->pw_dir;
}

}  // namespace

fs::path UserStateBase() {
    const char* xdg = std::getenv("XDG_STATE_HOME");
    if (xdg != nullptr && *xdg == '/') {
        return xdg;
    }
    const fs::path home = HomeFolder();
    return home.empty() ? fs::path() : home / ".local" / "state";
}

fs::path MakeTempFolder(const std::string& prefix) {
    std::error_code ec;
    fs::path base = fs::temp_directory_path(ec);
    if (ec) {
        base = "/tmp";
    }
    std::string pattern = (base / (prefix + "XXXXXX")).string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        return {};
    }
    return pattern;
}

void SetEnvironment(const char* name, const std::optional<std::string>& value) {
    if (value) {
        ::setenv(name, value->c_str(), 1);
    } else {
        ::unsetenv(name);
    }
}

}  // namespace vreader::files
