#include "cli/command_line.h"

#include <algorithm>

#include "command_line/syntax.h"
#include "core/files.h"

namespace vreader::cli {

CommandLine ParseCommandLine(const std::vector<std::string>& words,
                             const std::vector<CommandOption>& options) {
    CommandLine line;
    command_line::Syntax syntax;
    syntax.Switch("-h,--help", [&line] { line.help = true; });
    syntax.Value("--dir", [&line, &syntax](const std::string& value) {
        // After the command, --dir is an option the command does not know.
        if (syntax.ArgumentsSoFar() > 0) {
            line.args.options["dir"] = value;
        } else {
            line.dir = files::Utf8Path(value);
        }
    });
    for (const CommandOption& option : options) {
        const std::string name(option.name);
        if (option.takesValue) {
            syntax.Value("--" + name, [&line, name](const std::string& value) {
                line.args.options[name] = value;
            });
        } else {
            syntax.Switch("--" + name, [&line, name] { line.args.options[name] = ""; });
        }
    }
    const std::vector<std::string> arguments = syntax.Parse(words);
    if (line.help || std::find(arguments.begin(), arguments.end(), "help") != arguments.end()) {
        line.help = true;
        return line;
    }
    if (!arguments.empty()) {
        line.command = arguments.front();
        line.args.positional.assign(arguments.begin() + 1, arguments.end());
    }
    return line;
}

}  // namespace vreader::cli
