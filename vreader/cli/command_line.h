#pragma once
// Splits tagquill-vreader's words into the state folder, the command and its arguments.

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/arguments.h"

namespace vreader::cli {

struct CommandLine {
    bool help = false;
    std::optional<std::filesystem::path> dir;  // --dir before the command
    std::string command;                       // empty when none was given
    Args args;
};

// Whether a known option takes a value; nullopt for an option no command knows.
using OptionLookup = std::function<std::optional<bool>(std::string_view name)>;

// Throws UsageError for an unknown option or one missing its value, wherever it stands.
CommandLine ParseCommandLine(const std::vector<std::string>& words, const OptionLookup& takesValue);

}  // namespace vreader::cli
