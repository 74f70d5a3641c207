#include "cli/command_line.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <array>

namespace vreader::cli {

namespace {

// The command and the most arguments one takes: fault READER fail FUNCTION N CODE TIMES.
constexpr std::size_t kSlots = 7;

// An option is kept the moment CLI11 reads it: --dir must know whether the command
// came before it, and an option given again replaces the first.
void AddOption(CLI::App& app, const std::string& name, bool takesValue,
               std::function<void(const std::string&)> take) {
    app.add_option(name,
                   [take, takesValue](const CLI::results_t& values) {
                       take(takesValue ? values.front() : std::string());
                       return true;
                   })
        ->expected(takesValue ? 1 : 0)
        ->trigger_on_parse();
}

}  // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& words,
                             const std::vector<CommandOption>& options) {
    CommandLine line;
    CLI::App app;
    app.set_help_flag();  // the caller prints the usage text
    app.allow_extras();   // told below, in this tool's words
    // On Windows CLI11 would take "/x" for an option, and a path may start so.
    app.allow_windows_style_options(false);
    AddOption(app, "-h,--help", false, [&line](const std::string&) { line.help = true; });
    // One word each: a list would split "[a,b]" into two.
    std::array<std::optional<std::string>, kSlots> slots;
    for (std::size_t i = 0; i < kSlots; ++i) {
        app.add_option("word" + std::to_string(i), slots[i]);
    }
    const CLI::Option* commandSlot = app.get_option("word0");
    AddOption(app, "--dir", true, [&line, commandSlot](const std::string& value) {
        // After the command, --dir is an option the command does not know.
        if (commandSlot->count() > 0) {
            line.args.options["dir"] = value;
        } else {
            line.dir = value;
        }
    });
    for (const CommandOption& option : options) {
        const std::string name(option.name);
        AddOption(app, "--" + name, option.takesValue,
                  [&line, name](const std::string& value) { line.args.options[name] = value; });
    }

    try {
        app.parse(std::vector<std::string>(words.rbegin(), words.rend()));
    } catch (const CLI::ArgumentMismatch&) {
        // CLI11 takes any word after an option as its value: only the last can lack one.
        throw UsageError(words.back().substr(0, words.back().find('=')) + " needs a value");
    } catch (const CLI::ParseError& error) {
        throw UsageError(error.what());
    }
    std::vector<std::string> positional;
    for (const auto& slot : slots) {
        if (slot) {
            positional.push_back(*slot);
        }
    }
    // What CLI11 could place nowhere: unknown options, the "--" that ends the options,
    // and arguments beyond the slots.
    bool optionsEnded = false;
    for (const std::string& word : app.remaining()) {
        if (!optionsEnded && word == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && word.size() > 1 && word[0] == '-') {
            throw UsageError("unknown option " + word.substr(0, word.find('=')));
        } else {
            positional.push_back(word);
        }
    }
    if (line.help || std::find(positional.begin(), positional.end(), "help") != positional.end()) {
        line.help = true;
        return line;
    }
    if (!positional.empty()) {
        line.command = positional.front();
        line.args.positional.assign(positional.begin() + 1, positional.end());
    }
    return line;
}

}  // namespace vreader::cli
