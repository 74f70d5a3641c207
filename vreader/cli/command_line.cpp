#include "cli/command_line.h"

namespace vreader::cli {

namespace {

bool IsHelp(const std::string& word) {
    return word == "--help" || word == "-h" || word == "help";
}

}  // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& words,
                             const OptionLookup& takesValue) {
    CommandLine line;
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::string& word = words[i];
        if (IsHelp(word)) {
            line.help = true;
            return line;
        }
        if (!word.starts_with("--")) {
            if (line.command.empty()) {
                line.command = word;
            } else {
                line.args.positional.push_back(word);
            }
            continue;
        }
        std::string name = word.substr(2);
        std::optional<std::string> value;
        if (const auto equals = name.find('='); equals != std::string::npos) {
            value = name.substr(equals + 1);
            name.resize(equals);
        }
        const bool isDir = name == "dir";
        const auto needsValue = isDir ? std::optional(true) : takesValue(name);
        if (!needsValue) {
            throw UsageError("unknown option --" + name);
        }
        if (!value) {
            if (!*needsValue) {
                value.emplace();
            } else if (i + 1 < words.size()) {
                value = words[++i];
            } else {
                throw UsageError("--" + name + " needs a value");
            }
        }
        // After the command, --dir is an option the command does not know.
        if (isDir && line.command.empty()) {
            line.dir = *value;
        } else {
            line.args.options[name] = *value;
        }
    }
    return line;
}

}  // namespace vreader::cli
