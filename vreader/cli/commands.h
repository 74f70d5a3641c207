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
// Whether an option of any command takes a value; nullopt when no command has it.
std::optional<bool> OptionTakesValue(std::string_view name);

// Rejects positionals and options the command does not take.
void CheckArguments(const Command& command, const Args& args);

}  // namespace vreader::cli
