#pragma once
// A command's arguments and the checks and conversions of their values. Usage errors
// (exit 2) are UsageError; values that do not parse are ControlError kBadArgument.

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "command_line/syntax.h"
#include "control/virtual_field.h"

namespace vreader::cli {

using UsageError = command_line::UsageError;

// The words after the command: positionals, and --options with their values.
struct Args {
    std::vector<std::string> positional;
    std::map<std::string, std::string> options;

    // The positional at `index`; a usage error naming `what` when it is missing.
    const std::string& At(std::size_t index, const char* what) const;
    std::optional<std::string> Option(const std::string& name) const;
    void AllowPositional(std::size_t count) const;
    void AllowOptions(const std::vector<std::string_view>& names) const;
};

[[noreturn]] void BadValue(const std::string& message);
long Number(const std::string& text, long low, long high, const char* what);
// Hex bytes, with ':', ' ' or '-' between them if the user likes.
Bytes HexArgument(const std::string& text, const char* what);
// The canonical name of a reader that exists.
std::string ExistingReader(const VirtualField& field, const std::string& name);

}  // namespace vreader::cli
