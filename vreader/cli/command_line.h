#pragma once
// Splits tagquill-vreader's words into the state folder, the command and its arguments.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "cli/arguments.h"
#include "cli/commands.h"

namespace vreader::cli {

struct CommandLine {
    bool help = false;
    std::optional<std::filesystem::path> dir;  // --dir before the command
    std::string command;                       // empty when none was given
    Args args;
};

// `options`: every option some command takes. Throws UsageError for an option none
// takes or one missing its value, wherever it stands; whether the command takes its
// options and arguments is the command table's to say.
CommandLine ParseCommandLine(const std::vector<std::string>& words,
                             const std::vector<CommandOption>& options);

}  // namespace vreader::cli
