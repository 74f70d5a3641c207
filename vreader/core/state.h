#pragma once
// The virtual reader's state folder: reader folders, card images, the per-reader
// memory files, the fault file and the call log. Shared by the reader libraries and the
// control library, so both read and write exactly the same files.
//
//   <state>/COM1 .. COM8, USB1 .. USB8   one folder per reader
//       *.mfd, *.bin, *.dump             the cards in its field (file name order)
//       station                          station id, decimal text (default 1)
//       eeprom                           256 register bytes (default 0, register 5 = 0x42)
//       keys                             32 key slots x 6 bytes (default FF x 6)
//       faults                           one fault per line
//       calls.log                        one line per call
//       .lock, .field.lock               open lock, field update lock
//   <state>/cards                        cards outside every field

#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vreader::files {
class FileLock;
}

namespace vreader::state {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

inline constexpr const char* kEnvVar = "TAGQUILL_VREADER_DIR";
// "0" or "off": the USB library serves the virtual readers alone, no PC/SC readers.
inline constexpr const char* kPcscEnvVar = "TAGQUILL_PCSC";
inline constexpr const char* kCardsFolder = "cards";
inline constexpr const char* kStationFile = "station";
inline constexpr const char* kEepromFile = "eeprom";
inline constexpr const char* kKeysFile = "keys";
inline constexpr const char* kFaultsFile = "faults";
inline constexpr const char* kCallLogFile = "calls.log";
inline constexpr const char* kOpenLockFile = ".lock";
inline constexpr const char* kFieldLockFile = ".field.lock";
inline constexpr int kEepromSize = 256;
inline constexpr int kKeySlots = 32;
inline constexpr std::uint8_t kDefaultStation = 1;
inline constexpr std::uint8_t kRegister5Default = 0x42;
// The call log starts again when it grows past this, so a program left running with
// its monitor listing twice a second cannot fill the disk.
inline constexpr std::uintmax_t kCallLogLimit = 4u << 20;

// Empty when the user has no home folder: then there is no state folder, and
// no virtual reader.
fs::path DefaultStateDir();
fs::path StateDir();  // TAGQUILL_VREADER_DIR when set and not empty

// The folder of reader `name` ("COM1"): <state>/COM1, or <state>/COM1_ on Windows.
fs::path ReaderFolder(const fs::path& stateDir, const std::string& name);

// Whether the name is one a card image may have in a field (.mfd, .bin, .dump, any case).
bool IsCardFileName(std::string_view name);

struct CardFile {
    std::string name;
    fs::path path;
    Bytes image;
};
// The cards in a folder, in file name order; files of other sizes are not cards.
std::vector<CardFile> ListCards(const fs::path& folder);

std::optional<Bytes> ReadFileBytes(const fs::path& path);
// Writes a temporary file beside `path` and renames it over `path`, so that a reader of
// the file sees the old image or the new one, never a mix. False when it failed.
bool WriteFileAtomic(const fs::path& path, const Bytes& data);
bool WriteTextAtomic(const fs::path& path, const std::string& text);

// Exclusive lock on a reader's field for one update (between threads of a process
// through separate open files, and between processes).
class FieldLock {
public:
    explicit FieldLock(const fs::path& readerDir);
    ~FieldLock();
    FieldLock(const FieldLock&) = delete;
    FieldLock& operator=(const FieldLock&) = delete;

private:
    std::unique_ptr<files::FileLock> lock_;
};

// Moves a card image out of a field into <state>/cards, under a fresh name when its name
// is taken there. Returns the new path; nullopt when the move failed.
std::optional<fs::path> MoveToCards(const fs::path& stateDir, const fs::path& image);

// Reader memory. A station file that holds no number 0..255 reads as the default;
// `problem`, when given, then says so, naming the file.
std::uint8_t ReadStation(const fs::path& readerDir, std::string* problem = nullptr);
std::array<std::uint8_t, kEepromSize> ReadEeprom(const fs::path& readerDir);
std::array<std::uint8_t, kKeySlots * 6> ReadKeys(const fs::path& readerDir);

// Faults, one per line:
//   fail fn=<Function> at=<n> code=<code> [times=<k>]
//   remove fn=<Function> at=<n>
//   block fn=<Function>
//   tags count=<n>
//   type-flag-zero
//   station-count-zero
//   latency ms=<n>
// <Function> is an exported name without "ACR120_", or "*" for all.
struct Fault {
    enum class Type { kFail, kRemove, kBlock, kTags, kTypeFlagZero, kStationCountZero, kLatency };
    Type type = Type::kFail;
    std::string function;
    int at = 1;
    int code = 0;
    int times = 1;
    int count = 0;  // tags count, latency ms
    bool Matches(std::string_view fn) const { return function == "*" || function == fn; }
};
// `error` says what is wrong with a line that is no fault, and what one looks like.
std::optional<Fault> ParseFault(std::string_view line, std::string* error = nullptr);
std::string FormatFault(const Fault& fault);
// A line someone wrote into the file by hand that is no fault.
struct BadFaultLine {
    int number = 0;       // from 1
    std::string text;     // as it stands
    std::string problem;  // from ParseFault
};
struct FaultFile {
    std::vector<Fault> faults;
    std::vector<BadFaultLine> badLines;
};
// The libraries act on the faults and leave the bad lines to the tool to report.
FaultFile ReadFaultFile(const fs::path& readerDir);
std::vector<Fault> ReadFaults(const fs::path& readerDir);
// `keptLines` follow the faults as they stand, so that counting a fault down does not
// take away what a user wrote.
bool WriteFaults(const fs::path& readerDir, const std::vector<Fault>& faults,
                 const std::vector<BadFaultLine>& keptLines = {});
// Exported function names the libraries know, without the prefix.
bool IsKnownFunction(std::string_view name);

void AppendCallLog(const fs::path& readerDir, const std::string& line);

}  // namespace vreader::state
