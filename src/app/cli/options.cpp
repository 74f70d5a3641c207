#include "app/cli/options.h"

#include <algorithm>
#include <string_view>

#include "command_line/syntax.h"

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

}  // namespace

bool IsAnsiCodePage(unsigned codePage) {
    return codePage == 874 || codePage == 932 || codePage == 936 || codePage == 949 ||
           codePage == 950 || (codePage >= 1250 && codePage <= 1258);
}

namespace {

// Each option fills its field of `options`; only the words themselves are checked here.
void DeclareOptions(command_line::Syntax& syntax, Options& options) {
    syntax.Switch("-h,--help", [&options] { options.help = true; });
    syntax.Switch("--version", [&options] { options.version = true; });
    for (const auto& [name, slot] :
         {std::pair{"--reader", &options.reader}, std::pair{"--key", &options.key.text},
          std::pair{"--key-file", &options.key.file}, std::pair{"--new-key", &options.newKey.text},
          std::pair{"--new-key-file", &options.newKey.file},
          std::pair{"--file", &options.notice.file}}) {
        syntax.Value(name, [option = name, slot = slot](const std::string& value) {
            SetOnce(*slot, value, option);
        });
    }
    syntax.Value("--code-page", [&options](const std::string& text) {
        const unsigned long codePage = WholeNumber(text, "--code-page", 1);
        if (!IsAnsiCodePage(static_cast<unsigned>(codePage))) {
            throw UsageError(
                "--code-page takes a Windows ANSI code page (874, 932, 936, 949, "
                "950, 1250 to 1258), not " +
                text);
        }
        options.codePage = static_cast<unsigned>(codePage);
    });
    // Only a number is taken as the seconds: "--wait Hello" waits, and writes Hello.
    syntax.OptionalValue(
        "--wait", [](const std::string& word) { return Seconds(word).has_value(); },
        [&options](const std::optional<std::string>& seconds) {
            options.wait = true;
            if (seconds) {
                options.waitSeconds = Seconds(*seconds);
                if (!options.waitSeconds) {
                    throw UsageError("--wait takes seconds, not '" + *seconds + "'");
                }
            }
        });
    syntax.Switch("--each", [&options] { options.each = true; });
    syntax.Value("--count", [&options](const std::string& text) {
        options.count = WholeNumber(text, "--count", 1);
    });
    syntax.Switch("--json", [&options] { options.json = true; });
}

// The command word, and the notice text that only write takes after it.
void TakeCommand(const std::vector<std::string>& positional, Options& options) {
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
}

// Options that are well formed one by one but do not go with the command or each other.
void CheckCombination(const Options& options) {
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
}

}  // namespace

Options ParseOptions(const std::vector<std::string>& words) {
    Options options;
    command_line::Syntax syntax;
    DeclareOptions(syntax, options);
    std::vector<std::string> positional;
    try {
        positional = syntax.Parse(words);
    } catch (const command_line::UsageError& error) {
        throw UsageError(error.what());
    }
    if (options.help || options.version) {
        return options;
    }
    TakeCommand(positional, options);
    CheckCombination(options);
    return options;
}

}  // namespace notice_cli
