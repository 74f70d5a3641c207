#include "app/cli/options.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <functional>
#include <string_view>

namespace notice_cli {
namespace {

std::optional<Command> CommandNamed(std::string_view name) {
    if (name == "read")
        return Command::Read;
    if (name == "write")
        return Command::Write;
    if (name == "clear")
        return Command::Clear;
    if (name == "change-key")
        return Command::ChangeKey;
    if (name == "info")
        return Command::Info;
    if (name == "readers")
        return Command::Readers;
    return std::nullopt;
}

bool AllDigits(std::string_view text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

unsigned long WholeNumber(const std::string& text, const char* option, unsigned long low) {
    if (!AllDigits(text) || text.size() > 9 || std::stoul(text) < low) {
        throw UsageError(std::string(option) + " needs a whole number of at least " +
                         std::to_string(low) + ", not '" + text + "'");
    }
    return std::stoul(text);
}

// Seconds, whole or with a fraction: "10", "2.5".
std::optional<double> Seconds(std::string_view text) {
    const auto dot = text.find('.');
    const std::string_view whole = text.substr(0, dot);
    const std::string_view fraction = dot == std::string_view::npos ? "" : text.substr(dot + 1);
    if (!AllDigits(whole) || whole.size() > 7 ||
        (dot != std::string_view::npos && !AllDigits(fraction))) {
        return std::nullopt;
    }
    return std::stod(std::string(text));
}

void SetOnce(std::optional<std::string>& slot, const std::string& value, const char* option) {
    if (slot) {
        throw UsageError(std::string(option) + " given twice");
    }
    slot = value;
}

// Each option is handled the moment CLI11 reads it, so that of several mistakes the
// first on the command line is told, and an option given again meets the first.
void AddValue(CLI::App& app, const std::string& name,
              std::function<void(const std::string&)> take) {
    app.add_option(name,
                   [take](const CLI::results_t& values) {
                       take(values.front());
                       return true;
                   })
        ->trigger_on_parse();
}

// CLI11 reads "--json=x" as a value for the switch; a bare switch reads "true".
void AddSwitch(CLI::App& app, const std::string& names, const std::string& shown, bool& given) {
    app.add_option(names,
                   [&given, shown](const CLI::results_t& values) {
                       if (values.front() != "true") {
                           throw UsageError(shown + " takes no value");
                       }
                       given = true;
                       return true;
                   })
        ->expected(0)
        ->trigger_on_parse();
}

bool TakesValue(const CLI::App& app, const std::string& name) {
    const CLI::Option* option = name.starts_with("--") ? app.get_option_no_throw(name) : nullptr;
    return option != nullptr && option->get_expected_min() > 0;
}

// Rewrites what CLI11 reads otherwise: a number right after --wait is its seconds
// (--wait itself is a switch, or it would swallow the notice text after it), and
// "--key=" is an empty key, not "--key" with the next word as the key.
std::vector<std::string> Normalised(const CLI::App& app, const std::vector<std::string>& words) {
    std::vector<std::string> out;
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::string& word = words[i];
        if (word == "--") {
            out.insert(out.end(), words.begin() + static_cast<std::ptrdiff_t>(i), words.end());
            break;
        }
        const bool more = i + 1 < words.size();
        if (word == "--wait" && more && Seconds(words[i + 1])) {
            out.push_back(word + "=" + words[++i]);
        } else if (TakesValue(app, word) && more) {
            out.push_back(word);
            out.push_back(words[++i]);  // whatever it looks like
        } else if (word.ends_with("=") && TakesValue(app, word.substr(0, word.size() - 1))) {
            out.push_back(word.substr(0, word.size() - 1));
            out.emplace_back();
        } else {
            out.push_back(word);
        }
    }
    return out;
}

}  // namespace

bool IsAnsiCodePage(unsigned codePage) {
    return codePage == 874 || codePage == 932 || codePage == 936 || codePage == 949 ||
           codePage == 950 || (codePage >= 1250 && codePage <= 1258);
}

Options ParseOptions(const std::vector<std::string>& words) {
    Options options;
    CLI::App app;
    app.set_help_flag();  // the caller prints the usage text
    app.allow_extras();   // told below, in this tool's words
    // On Windows CLI11 would take "/x" for an option, and notice text may start so.
    app.allow_windows_style_options(false);
    AddSwitch(app, "-h,--help", "--help", options.help);
    AddSwitch(app, "--version", "--version", options.version);
    for (const auto& [name, slot] :
         {std::pair{"--reader", &options.reader}, std::pair{"--key", &options.key.text},
          std::pair{"--key-file", &options.key.file}, std::pair{"--new-key", &options.newKey.text},
          std::pair{"--new-key-file", &options.newKey.file},
          std::pair{"--file", &options.notice.file}}) {
        AddValue(app, name,
                 [name, slot](const std::string& value) { SetOnce(*slot, value, name); });
    }
    AddValue(app, "--code-page", [&options](const std::string& text) {
        const unsigned long codePage = WholeNumber(text, "--code-page", 1);
        if (!IsAnsiCodePage(static_cast<unsigned>(codePage))) {
            throw UsageError(
                "--code-page takes a Windows ANSI code page (874, 932, 936, 949, "
                "950, 1250 to 1258), not " +
                text);
        }
        options.codePage = static_cast<unsigned>(codePage);
    });
    app.add_option(
           "--wait",
           [&options](const CLI::results_t& values) {
               options.wait = true;
               if (values.front() != "true") {
                   options.waitSeconds = Seconds(values.front());
                   if (!options.waitSeconds) {
                       throw UsageError("--wait takes seconds, not '" + values.front() + "'");
                   }
               }
               return true;
           })
        ->expected(0)
        ->trigger_on_parse();
    AddSwitch(app, "--each", "--each", options.each);
    AddValue(app, "--count", [&options](const std::string& text) {
        options.count = WholeNumber(text, "--count", 1);
    });
    AddSwitch(app, "--json", "--json", options.json);
    // One word each: a list would split "[a,b]" into two.
    std::optional<std::string> commandWord, textWord;
    app.add_option("command", commandWord);
    app.add_option("text", textWord);

    std::vector<std::string> normalised = Normalised(app, words);
    try {
        app.parse(std::vector<std::string>(normalised.rbegin(), normalised.rend()));
    } catch (const CLI::ArgumentMismatch&) {
        // After Normalised only the last word can miss its value.
        throw UsageError(normalised.back() + " needs a value");
    } catch (const CLI::ParseError& error) {
        throw UsageError(error.what());
    }
    std::vector<std::string> positional;
    for (const auto& word : {commandWord, textWord}) {
        if (word) {
            positional.push_back(*word);
        }
    }
    // What CLI11 could place nowhere: unknown options, the "--" that ends the options,
    // and arguments beyond the command and the text.
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
    if (options.help || options.version) {
        return options;
    }

    if (positional.empty()) {
        throw UsageError("no command given");
    }
    const auto command = CommandNamed(positional[0]);
    if (!command) {
        throw UsageError("unknown command '" + positional[0] + "'");
    }
    options.command = *command;
    const std::size_t allowed = options.command == Command::Write ? 2 : 1;
    if (positional.size() > allowed) {
        throw UsageError("unexpected argument '" + positional[allowed] + "'");
    }
    if (positional.size() == 2) {
        options.notice.text = positional[1];
    }

    const bool write = options.command == Command::Write;
    const bool changeKey = options.command == Command::ChangeKey;
    const bool readers = options.command == Command::Readers;
    if (options.notice.file && !write) {
        throw UsageError("--file is for write only");
    }
    if (options.notice.text && options.notice.file) {
        throw UsageError("give the notice as an argument or with --file, not both");
    }
    if (options.newKey.Given() && !changeKey) {
        throw UsageError("--new-key and --new-key-file are for change-key only");
    }
    // Without it the factory key would go on every sector and the notice would be
    // erased; --new-key "" says so on purpose.
    if (changeKey && !options.newKey.Given()) {
        throw UsageError(
            "change-key needs --new-key or --new-key-file (--new-key \"\" for the "
            "factory key)");
    }
    if (readers && (options.reader || options.key.Given() || options.wait || options.each ||
                    options.codePage)) {
        throw UsageError("readers takes no reader, key, code page or waiting options");
    }
    for (const auto& [source, name] :
         {std::pair{&options.key, "--key"}, std::pair{&options.newKey, "--new-key"}}) {
        if (source->text && source->file) {
            throw UsageError(std::string(name) + " and " + name + "-file exclude each other");
        }
    }
    const int fromStdin =
        (options.key.FromStdin() ? 1 : 0) + (options.newKey.FromStdin() ? 1 : 0) +
        (write && !options.notice.text && (!options.notice.file || options.notice.FromStdin()) ? 1
                                                                                               : 0);
    if (fromStdin > 1) {
        throw UsageError("only one of the key, the new key and the notice can come from stdin");
    }
    if (options.count && !options.each) {
        throw UsageError("--count goes with --each");
    }
    return options;
}

}  // namespace notice_cli
