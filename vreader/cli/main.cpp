// tagquill-vreader: creates virtual readers and cards, places cards in readers' fields
// and takes them away, shows and converts card images, and sets the faults the virtual
// reader libraries act out.

#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "cli/arguments.h"
#include "cli/command_line.h"
#include "cli/commands.h"
#include "cli/exit_codes.h"
#include "cli/usage_text.h"
#include "control/virtual_field.h"
#include "platform/console.h"

namespace vreader::cli {
namespace {

int ExitFor(ErrorKind kind) {
    switch (kind) {
        case ErrorKind::kBadArgument:
            return kBadArgument;
        case ErrorKind::kNotFound:
            return kNotFound;
        case ErrorKind::kExists:
            return kExists;
        case ErrorKind::kBadImage:
            return kBadImage;
        case ErrorKind::kBadFormat:
            return kBadFormat;
        case ErrorKind::kIo:
            return kFailure;
    }
    return kFailure;
}

int Run(const std::vector<std::string>& words) {
    const CommandLine line = ParseCommandLine(words, AllOptions());
    if (line.help) {
        std::cout << kUsageText;
        return kOk;
    }
    if (line.command.empty()) {
        throw UsageError("no command given");
    }
    const std::filesystem::path dir = line.dir ? *line.dir : StateDirFromEnvironment();
    if (dir.empty()) {
        BadValue("no state folder: set TAGQUILL_VREADER_DIR, or give the user a home folder");
    }
    std::error_code error;
    // Else every reader would simply be missing from it, which reads as success.
    if (std::filesystem::exists(dir, error) && !std::filesystem::is_directory(dir, error)) {
        BadValue("the state folder " + dir.string() + " is not a folder");
    }
    VirtualField field(dir);
    const Command* command = FindCommand(line.command);
    if (command == nullptr) {
        throw UsageError("unknown command '" + line.command + "'");
    }
    CheckArguments(*command, line.args);
    return command->run(field, line.args);
}

// Errors leave as messages on stderr and exit codes.
int Main(const std::vector<std::string>& words) {
    try {
        return Run(words);
    } catch (const UsageError& error) {
        std::cerr << "tagquill-vreader: " << error.what() << "\n"
                  << "Try 'tagquill-vreader --help'.\n";
        return kUsage;
    } catch (const ControlError& error) {
        std::cerr << "tagquill-vreader: " << error.what() << "\n";
        return ExitFor(error.Kind());
    } catch (const std::exception& error) {
        std::cerr << "tagquill-vreader: " << error.what() << "\n";
        return kFailure;
    }
}

}  // namespace
}  // namespace vreader::cli

int main(int argc, char** argv) {
    // UTF-8 arguments and output whatever the system's own encoding, as
    // tagquill-notice has them.
    return vreader::cli::Main(platform::Utf8Arguments(argc, argv));
}
