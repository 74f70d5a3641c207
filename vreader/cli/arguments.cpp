#include "cli/arguments.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>

#include "ascii/hex.h"
#include "ascii/reader_name.h"

namespace vreader::cli {

const std::string& Args::At(std::size_t index, const char* what) const {
    if (index >= positional.size()) {
        throw UsageError(std::string("missing ") + what);
    }
    return positional[index];
}

std::optional<std::string> Args::Option(const std::string& name) const {
    auto found = options.find(name);
    return found == options.end() ? std::nullopt : std::optional(found->second);
}

void Args::AllowPositional(std::size_t count) const {
    if (positional.size() > count) {
        throw UsageError("unexpected argument '" + positional[count] + "'");
    }
}

void Args::AllowOptions(const std::vector<std::string_view>& names) const {
    for (const auto& [name, value] : options) {
        if (std::find(names.begin(), names.end(), name) == names.end()) {
            throw UsageError("unknown option --" + name);
        }
    }
}

void BadValue(const std::string& message) {
    throw ControlError(ErrorKind::kBadArgument, message);
}

long Number(const std::string& text, long low, long high, const char* what) {
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text.c_str(), &end, 0);
    if (text.empty() || *end != '\0' || errno != 0 || value < low || value > high) {
        BadValue(std::string(what) + " must be a number " + std::to_string(low) + ".." +
                 std::to_string(high) + ", not '" + text + "'");
    }
    return value;
}

Bytes HexArgument(const std::string& text, const char* what) {
    std::string digits;
    for (char c : text) {
        if (c == ':' || c == ' ' || c == '-') {
            continue;
        }
        if (!ascii::IsHexDigit(c)) {
            BadValue(std::string(what) + ": '" + std::string(1, c) + "' is not a hex digit");
        }
        digits += c;
    }
    auto bytes = ascii::ParseHex(digits);
    if (digits.empty() || !bytes) {
        BadValue(std::string(what) + " needs whole bytes in hex, not '" + text + "'");
    }
    return std::move(*bytes);
}

std::string ExistingReader(const VirtualField& field, const std::string& name) {
    auto canonical = ascii::CanonicalReaderName(name);
    if (!canonical) {
        BadValue("'" + name + "' is no reader name (COM1..COM8 or USB1..USB8)");
    }
    if (!field.HasReader(*canonical)) {
        throw ControlError(ErrorKind::kNotFound,
                           "no reader " + *canonical + " in " + field.Dir().string() +
                               " (create it with: tagquill-vreader add-reader " + *canonical + ")");
    }
    return *canonical;
}

}  // namespace vreader::cli
