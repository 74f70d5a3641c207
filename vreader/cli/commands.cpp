#include "cli/commands.h"

#include <algorithm>

#include "cli/command_handlers.h"

namespace vreader::cli {

namespace {

const std::vector<Command>& Commands() {
    static const std::vector<Command> commands = {
        {"init", 0, {}, InitCommand},
        {"add-reader", 1, {{"station"}}, AddReaderCommand},
        {"remove-reader", 1, {}, RemoveReaderCommand},
        {"list", 0, {}, ListCommand},
        {"new-card", 1, {{"uid"}, {"name"}, {"reader"}, {"out"}}, NewCardCommand},
        {"place", 2, {{"name"}, {"from"}}, PlaceCommand},
        {"remove", 2, {}, RemoveCommand},
        {"show", 1, {}, ShowCommand},
        {"convert", 2, {{"from"}, {"to"}}, ConvertCommand},
        {"fault", std::nullopt, {}, FaultCommand},
        {"latency", 2, {}, LatencyCommand},
        {"faults", 1, {}, FaultsCommand},
        {"log", 1, {{"clear", false}}, LogCommand},
    };
    return commands;
}

}  // namespace

const Command* FindCommand(std::string_view name) {
    for (const auto& command : Commands()) {
        if (command.name == name) {
            return &command;
        }
    }
    return nullptr;
}

std::vector<CommandOption> AllOptions() {
    std::vector<CommandOption> all;
    for (const auto& command : Commands()) {
        for (const auto& option : command.options) {
            if (std::none_of(all.begin(), all.end(), [&](const CommandOption& known) {
                    return known.name == option.name;
                })) {
                all.push_back(option);
            }
        }
    }
    return all;
}

void CheckArguments(const Command& command, const Args& args) {
    if (command.maxPositional) {
        args.AllowPositional(*command.maxPositional);
    }
    std::vector<std::string_view> names;
    for (const auto& option : command.options) {
        names.push_back(option.name);
    }
    args.AllowOptions(names);
}

}  // namespace vreader::cli
