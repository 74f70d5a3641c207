#include "core/state.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <limits>
#include <sstream>

#include "ascii/case_fold.h"
#include "core/files.h"
#include "core/mifare.h"

namespace vreader::state {

namespace {

std::optional<int> ToInt(std::string_view text) {
    int value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc{} || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

constexpr const char* kFunctions[] = {
    "Open",       "Close",          "GetID",          "ListTag", "ListTags",
    "Select",     "MultiTagSelect", "WriteMasterKey", "Login",   "Read",
    "Write",      "ReadValue",      "WriteValue",     "Inc",     "Dec",
    "ReadEEPROM", "WriteEEPROM"};

// A word of a state file in a message: the file may hold anything, the terminal must not.
std::string Quoted(std::string_view text) {
    constexpr std::size_t kLongest = 40;
    std::string shown = "'";
    for (char c : text.substr(0, kLongest)) {
        const auto byte = static_cast<unsigned char>(c);
        shown += byte < 0x20 || byte == 0x7F ? '?' : c;
    }
    return shown + (text.size() > kLongest ? "...'" : "'");
}

struct FaultSyntax {
    std::string_view word;
    Fault::Type type;
    std::array<std::string_view, 3> required;  // unused places empty
    std::string_view optional;
    std::string_view form;
};

constexpr FaultSyntax kFaultSyntax[] = {
    {"fail",
     Fault::Type::kFail,
     {"fn", "at", "code"},
     "times",
     "fail fn=FUNCTION at=N code=CODE [times=K]"},
    {"remove", Fault::Type::kRemove, {"fn", "at"}, {}, "remove fn=FUNCTION at=N"},
    {"block", Fault::Type::kBlock, {"fn"}, {}, "block fn=FUNCTION"},
    {"tags", Fault::Type::kTags, {"count"}, {}, "tags count=N"},
    {"type-flag-zero", Fault::Type::kTypeFlagZero, {}, {}, "type-flag-zero"},
    {"station-count-zero", Fault::Type::kStationCountZero, {}, {}, "station-count-zero"},
    {"latency", Fault::Type::kLatency, {"ms"}, {}, "latency ms=N"},
};

std::string EveryFaultForm() {
    std::string forms;
    for (const auto& syntax : kFaultSyntax) {
        forms += (forms.empty() ? "" : "; ") + std::string(syntax.form);
    }
    return forms;
}

}  // namespace

fs::path DefaultStateDir() {
    const fs::path base = files::UserStateBase();
    return base.empty() ? fs::path() : base / "tagquill" / "vreader";
}

fs::path StateDir() {
    const char* dir = std::getenv(kEnvVar);
    if (dir != nullptr && *dir != '\0') {
        return dir;
    }
    return DefaultStateDir();
}

fs::path ReaderFolder(const fs::path& stateDir, const std::string& name) {
    return stateDir / (name + files::kReaderFolderSuffix);
}

bool IsCardFileName(std::string_view name) {
    if (name.empty() || name.front() == '.') {
        return false;
    }
    const std::string lower = ascii::Lower(name);
    return lower.ends_with(".mfd") || lower.ends_with(".bin") || lower.ends_with(".dump");
}

std::vector<CardFile> ListCards(const fs::path& folder) {
    std::vector<CardFile> cards;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (!IsCardFileName(name)) {
            continue;
        }
        // Another process may take the card away between the listing and the read. A
        // file larger than the largest card is no card, and is not read past that size:
        // the monitor lists every few hundred milliseconds.
        auto image = files::ReadWholeFile(it->path(), card_model::k4KSize);
        if (!image || card_model::TagTypeOfSize(image->size()) == 0) {
            continue;
        }
        cards.push_back(CardFile{name, it->path(), std::move(*image)});
    }
    std::sort(cards.begin(), cards.end(),
              [](const CardFile& a, const CardFile& b) { return a.name < b.name; });
    return cards;
}

std::optional<Bytes> ReadFileBytes(const fs::path& path) {
    // No state file is anywhere near this big.
    return files::ReadWholeFile(path, 16u << 20);
}

bool WriteFileAtomic(const fs::path& path, const Bytes& data) {
    static std::atomic<unsigned> counter{0};
    // Joined as paths, not as narrow text, which Windows reads as ANSI.
    fs::path temp = path.parent_path() / ".";
    temp += path.filename();
    temp +=
        ".tmp-" + std::to_string(files::ProcessId()) + "-" + std::to_string(counter.fetch_add(1));
    return files::ReplaceThroughTemp(temp, path, data);
}

bool WriteTextAtomic(const fs::path& path, const std::string& text) {
    return WriteFileAtomic(path, Bytes(text.begin(), text.end()));
}

FieldLock::FieldLock(const fs::path& readerDir)
    : lock_(std::make_unique<files::FileLock>(readerDir / kFieldLockFile, true)) {}

FieldLock::~FieldLock() = default;

std::optional<fs::path> MoveToCards(const fs::path& stateDir, const fs::path& image) {
    const fs::path cards = stateDir / kCardsFolder;
    files::MakeFolders(cards);
    for (int n = 1; n < 10000; ++n) {
        fs::path name = image.filename();
        if (n > 1) {
            name = image.stem();
            name += "-" + std::to_string(n);
            name += image.extension();
        }
        const fs::path target = cards / name;
        // Never replaces a card already lying there.
        const files::MoveResult moved = files::MoveNoReplace(image, target);
        if (moved == files::MoveResult::kMoved) {
            return target;
        }
        if (moved == files::MoveResult::kFailed) {
            return std::nullopt;
        }
    }
    return std::nullopt;
}

std::uint8_t ReadStation(const fs::path& readerDir, std::string* problem) {
    auto data = ReadFileBytes(readerDir / kStationFile);
    if (!data) {
        return kDefaultStation;
    }
    std::string text(data->begin(), data->end());
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) {
        text.pop_back();
    }
    auto value = ToInt(text);
    if (value && *value >= 0 && *value <= 255) {
        return static_cast<std::uint8_t>(*value);
    }
    if (problem != nullptr) {
        *problem = (readerDir / kStationFile).string() + " holds " + Quoted(text) +
                   ", not a station number 0..255; the reader answers as station " +
                   std::to_string(kDefaultStation);
    }
    return kDefaultStation;
}

std::array<std::uint8_t, kEepromSize> ReadEeprom(const fs::path& readerDir) {
    std::array<std::uint8_t, kEepromSize> regs{};
    regs[5] = kRegister5Default;
    if (auto data = ReadFileBytes(readerDir / kEepromFile); data && data->size() == regs.size()) {
        std::copy(data->begin(), data->end(), regs.begin());
    }
    return regs;
}

std::array<std::uint8_t, kKeySlots * 6> ReadKeys(const fs::path& readerDir) {
    std::array<std::uint8_t, kKeySlots * 6> keys;
    keys.fill(0xFF);
    if (auto data = ReadFileBytes(readerDir / kKeysFile); data && data->size() == keys.size()) {
        std::copy(data->begin(), data->end(), keys.begin());
    }
    return keys;
}

bool IsKnownFunction(std::string_view name) {
    return std::find(std::begin(kFunctions), std::end(kFunctions), name) != std::end(kFunctions);
}

std::optional<Fault> ParseFault(std::string_view line, std::string* error) {
    const FaultSyntax* syntax = nullptr;
    auto fail = [&](const std::string& why) -> std::optional<Fault> {
        if (error != nullptr) {
            *error = syntax == nullptr ? why + " (a fault is one of: " + EveryFaultForm() + ")"
                                       : why + " (expected " + std::string(syntax->form) + ")";
        }
        return std::nullopt;
    };
    std::istringstream in{std::string(line)};
    std::string word;
    if (!(in >> word)) {
        return fail("empty fault");
    }
    for (const auto& candidate : kFaultSyntax) {
        if (candidate.word == word) {
            syntax = &candidate;
        }
    }
    if (syntax == nullptr) {
        return fail("unknown fault " + Quoted(word));
    }
    Fault fault;
    fault.type = syntax->type;
    std::vector<std::string> seen;
    while (in >> word) {
        const auto eq = word.find('=');
        if (eq == std::string::npos) {
            return fail(Quoted(word) + " is no key=value word");
        }
        const std::string key = word.substr(0, eq);
        std::string value = word.substr(eq + 1);
        const bool known =
            !key.empty() &&
            (key == syntax->optional || std::find(syntax->required.begin(), syntax->required.end(),
                                                  key) != syntax->required.end());
        if (!known) {
            return fail(Quoted(key + "=") + " is no part of a " + std::string(syntax->word) +
                        " fault");
        }
        if (key == "fn") {
            if (value.starts_with("ACR120_")) {
                value = value.substr(7);
            }
            if (value != "*" && !IsKnownFunction(value)) {
                return fail("unknown function " + Quoted(value));
            }
            fault.function = value;
        } else {
            const auto number = ToInt(value);
            const int low = key == "at" ? 1 : key == "code" ? -32768 : 0;
            const int high = key == "code" ? 32767 : std::numeric_limits<int>::max();
            if (!number || *number < low || *number > high) {
                return fail(Quoted(key) + " needs a number " + std::to_string(low) +
                            (key == "code" ? ".." + std::to_string(high) : " or more") + ", not " +
                            Quoted(value));
            }
            if (key == "at") {
                fault.at = *number;
            } else if (key == "code") {
                fault.code = *number;
            } else if (key == "times") {
                fault.times = *number;
            } else {
                fault.count = *number;  // count, ms
            }
        }
        seen.push_back(key);
    }
    for (const auto key : syntax->required) {
        if (!key.empty() && std::find(seen.begin(), seen.end(), key) == seen.end()) {
            return fail("missing " + std::string(key) + "=");
        }
    }
    return fault;
}

std::string FormatFault(const Fault& f) {
    using T = Fault::Type;
    switch (f.type) {
        case T::kFail:
            return "fail fn=" + f.function + " at=" + std::to_string(f.at) +
                   " code=" + std::to_string(f.code) + " times=" + std::to_string(f.times);
        case T::kRemove:
            return "remove fn=" + f.function + " at=" + std::to_string(f.at);
        case T::kBlock:
            return "block fn=" + f.function;
        case T::kTags:
            return "tags count=" + std::to_string(f.count);
        case T::kTypeFlagZero:
            return "type-flag-zero";
        case T::kStationCountZero:
            return "station-count-zero";
        case T::kLatency:
            return "latency ms=" + std::to_string(f.count);
    }
    return {};
}

FaultFile ReadFaultFile(const fs::path& readerDir) {
    FaultFile file;
    auto data = ReadFileBytes(readerDir / kFaultsFile);
    if (!data) {
        return file;
    }
    std::string text(data->begin(), data->end());
    std::istringstream in(text);
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        const auto first = line.find_first_not_of(" \t\r");
        if (first == std::string::npos || line[first] == '#') {
            continue;
        }
        std::string problem;
        if (auto fault = ParseFault(line, &problem)) {
            file.faults.push_back(*fault);
        } else {
            file.badLines.push_back(BadFaultLine{number, line, problem});
        }
    }
    return file;
}

std::vector<Fault> ReadFaults(const fs::path& readerDir) {
    return ReadFaultFile(readerDir).faults;
}

bool WriteFaults(const fs::path& readerDir, const std::vector<Fault>& faults,
                 const std::vector<BadFaultLine>& keptLines) {
    std::string text;
    for (const auto& fault : faults) {
        text += FormatFault(fault) + "\n";
    }
    for (const auto& line : keptLines) {
        text += line.text + "\n";
    }
    const bool written = WriteTextAtomic(readerDir / kFaultsFile, text);
    files::AnnounceFaultChange(readerDir);
    return written;
}

void AppendCallLog(const fs::path& readerDir, const std::string& line) {
    files::AppendChunk(readerDir / kCallLogFile, line + "\n", kCallLogLimit);
}

}  // namespace vreader::state
