#pragma once
// The functions behind tagquill-vreader's commands, by group. Each gets arguments the
// command table has checked, prints what it did and returns an exit code.

#include <string>
#include <vector>

#include "cli/arguments.h"
#include "control/virtual_field.h"

namespace vreader::cli {

// reader_commands.cpp
int InitCommand(VirtualField& field, const Args& args);
int AddReaderCommand(VirtualField& field, const Args& args);
int RemoveReaderCommand(VirtualField& field, const Args& args);
int ListCommand(VirtualField& field, const Args& args);
// Prints each problem of a reader's state files on stderr, after the output it did not
// stop; kBadFormat when there is one, else kOk.
int ReportStateProblems(const std::vector<std::string>& problems);

// card_commands.cpp
int NewCardCommand(VirtualField& field, const Args& args);
int PlaceCommand(VirtualField& field, const Args& args);
int RemoveCommand(VirtualField& field, const Args& args);
int ShowCommand(VirtualField& field, const Args& args);
int ConvertCommand(VirtualField& field, const Args& args);

// fault_commands.cpp
int FaultCommand(VirtualField& field, const Args& args);
int LatencyCommand(VirtualField& field, const Args& args);
int FaultsCommand(VirtualField& field, const Args& args);
int LogCommand(VirtualField& field, const Args& args);

}  // namespace vreader::cli
