#pragma once
// tagquill-vreader's commands: what each accepts and the function that runs it.

#include <cstddef>
#include <optional>
#include <string_view>
#include <vector>

#include "cli/arguments.h"
#include "control/virtual_field.h"

namespace vreader::cli {

struct CommandOption {
    std::string_view name;
    bool takesValue = true;
};

struct Command {
    std::string_view name;
    // Positionals beyond this are a usage error; nullopt when the command's own
    // arguments decide how many it takes.
    std::optional<std::size_t> maxPositional;
    std::vector<CommandOption> options;
    int (*run)(VirtualField& field, const Args& args);
};

const Command* FindCommand(std::string_view name);
// Every option some command takes, once.
std::vector<CommandOption> AllOptions();

// Rejects positionals and options the command does not take.
void CheckArguments(const Command& command, const Args& args);

}  // namespace vreader::cli
