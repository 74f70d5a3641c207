#pragma once
// tagquill-notice's command line: the command, the reader, where the keys and the
// notice text come from, and how to wait and report.

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace notice_cli {

struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

enum class Command { Read, Write, Clear, ChangeKey, Info, Readers };

// A text given on the command line, or the name of a file holding it ("-": stdin).
struct TextSource {
    std::optional<std::string> text;
    std::optional<std::string> file;
    bool Given() const { return text || file; }
    bool FromStdin() const { return file && *file == "-"; }
};

struct Options {
    bool help = false;
    bool version = false;
    Command command = Command::Read;
    std::optional<std::string> reader;
    TextSource key;
    TextSource newKey;
    TextSource notice;  // write only; neither given: stdin
    std::optional<unsigned> codePage;
    bool wait = false;
    std::optional<double> waitSeconds;  // none: wait as long as it takes
    bool each = false;
    std::optional<unsigned long> count;
    bool json = false;
};

// Throws UsageError for anything malformed, unknown or contradictory.
Options ParseOptions(const std::vector<std::string>& words);

// The Windows ANSI code pages a card written by the window can be in.
bool IsAnsiCodePage(unsigned codePage);

}  // namespace notice_cli
