#pragma once
// The few file and process operations of the virtual reader that differ between
// systems; files_posix.cpp and files_win32.cpp hold the two halves.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vreader::files {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

// An exclusive lock on a lock file (created when absent), held until destruction;
// it excludes other processes and other open files of the same process.
class FileLock {
public:
    // wait false: gives up at once when someone else holds it (Busy()).
    FileLock(const fs::path& path, bool wait);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    bool Locked() const { return locked_; }
    bool Busy() const { return busy_; }

private:
    std::intptr_t handle_ = -1;
    bool locked_ = false;
    bool busy_ = false;
};

// State files are the user's alone when this makes them. They are opened without
// following a symbolic link, and without waiting, and are read or written only
// when they are regular files.
std::optional<Bytes> ReadWholeFile(const fs::path& path, std::uintmax_t limit);
// Writes `temp` (which must not exist), flushes it to the disk and renames it over
// `path`; false (temp removed) when a step failed.
bool ReplaceThroughTemp(const fs::path& temp, const fs::path& path, const Bytes& data);
enum class MoveResult { kMoved, kTargetExists, kFailed };
// Moves a file without ever replacing one at the target.
MoveResult MoveNoReplace(const fs::path& from, const fs::path& to);
// Appends one chunk in one write, emptying the file first when it is over `limit`.
void AppendChunk(const fs::path& path, const std::string& text, std::uintmax_t limit);

// Appended to a reader's name ("COM1") to name its folder: on Windows COM1..COM9
// name the serial devices in every folder, so a folder cannot be called that.
extern const char* const kReaderFolderSuffix;

// Creates the folder and any missing parents, for the user alone; true when it
// exists afterwards.
bool MakeFolders(const fs::path& folder);

// Wakes, in every process, the library calls held by a "block" fault of the reader in
// `readerDir`, so that they look at its fault file again. On POSIX they poll it and this
// does nothing.
void AnnounceFaultChange(const fs::path& readerDir);
#ifdef _WIN32
// The event AnnounceFaultChange pulses for one reader. A held call waits on it rather
// than polling the file: a held call is one a program ends with TerminateThread, and a
// thread ended while reading the file leaves its handle open for the rest of the
// process, after which the file can no longer be replaced (and under Wine every read is
// a few round trips to the wineserver). One event per reader, so that the faults of
// other readers, which tests change many times a second, do not send it reading.
std::wstring FaultChangeEventName(const fs::path& readerDir);
#endif

// A sleep in which a thread ended by force may stop.
void SleepMilliseconds(long milliseconds);
unsigned long ProcessId();
// The user's folder for program state (XDG state home, or the local
// application data folder on Windows); empty when the user has no home folder.
fs::path UserStateBase();
// A new, empty temporary folder whose name begins with `prefix`; empty on failure.
fs::path MakeTempFolder(const std::string& prefix);
void SetEnvironment(const char* name, const std::optional<std::string>& value);

// A name as the tools take it, in UTF-8, as a path: a narrow path on Windows is in
// the ANSI code page, which would turn a Cyrillic or Japanese name into another.
inline fs::path Utf8Path(std::string_view name) {
    return fs::path(std::u8string(name.begin(), name.end()));
}

}  // namespace vreader::files
