// fault, latency, faults, log.

#include <chrono>
#include <iostream>

#include "cli/command_handlers.h"
#include "cli/exit_codes.h"

namespace vreader::cli {

namespace {

constexpr long kMaxCallNumber = 1000000;
constexpr long kMaxLatencyMs = 600000;
constexpr long kMaxTagCount = 255;

int CallNumber(const Args& args, std::size_t index) {
    return static_cast<int>(Number(args.At(index, "call number"), 1, kMaxCallNumber, "N"));
}

// An optional on|off at `index`, on when left out.
bool OnOff(const Args& args, std::size_t index) {
    args.AllowPositional(index + 1);
    if (args.positional.size() <= index || args.positional[index] == "on") {
        return true;
    }
    if (args.positional[index] == "off") {
        return false;
    }
    BadValue("expected on or off, not '" + args.positional[index] + "'");
}

}  // namespace

int FaultCommand(VirtualField& field, const Args& args) {
    const std::string reader = ExistingReader(field, args.At(0, "reader"));
    const std::string what = args.At(1,
                                     "fault (fail, remove, block, release, tags, "
                                     "type-flag-zero, station-count-zero, clear)");
    if (what == "fail") {
        args.AllowPositional(6);
        // Last to first, so that of several mistakes the same one is reported as ever.
        const int times =
            args.positional.size() > 5
                ? static_cast<int>(Number(args.positional[5], 0, kMaxCallNumber, "TIMES"))
                : 1;
        const auto code =
            static_cast<std::int16_t>(Number(args.At(4, "return code"), -32768, 32767, "CODE"));
        const int callNumber = CallNumber(args, 3);
        field.FailCall(reader, args.At(2, "function"), callNumber, code, times);
    } else if (what == "remove") {
        args.AllowPositional(4);
        const int callNumber = CallNumber(args, 3);
        field.RemoveCardAfter(reader, args.At(2, "function"), callNumber);
    } else if (what == "block") {
        args.AllowPositional(3);
        field.Block(reader, args.At(2, "function"));
    } else if (what == "release") {
        args.AllowPositional(3);
        field.Release(reader, args.At(2, "function"));
    } else if (what == "tags") {
        args.AllowPositional(3);
        field.ReportTagCount(
            reader, static_cast<int>(Number(args.At(2, "count"), 0, kMaxTagCount, "COUNT")));
    } else if (what == "type-flag-zero") {
        field.SetTypeFlagZero(reader, OnOff(args, 2));
    } else if (what == "station-count-zero") {
        field.SetStationCountZero(reader, OnOff(args, 2));
    } else if (what == "clear") {
        args.AllowPositional(2);
        field.ClearFaults(reader);
    } else {
        throw UsageError("unknown fault '" + what + "'");
    }
    return kOk;
}

int LatencyCommand(VirtualField& field, const Args& args) {
    const std::string reader = ExistingReader(field, args.At(0, "reader"));
    field.SetLatency(reader, std::chrono::milliseconds(
                                 Number(args.At(1, "milliseconds"), 0, kMaxLatencyMs, "MS")));
    return kOk;
}

int FaultsCommand(VirtualField& field, const Args& args) {
    std::vector<std::string> problems;
    for (const auto& line :
         field.FaultLines(ExistingReader(field, args.At(0, "reader")), &problems)) {
        std::cout << line << "\n";
    }
    return ReportStateProblems(problems);
}

int LogCommand(VirtualField& field, const Args& args) {
    const std::string reader = ExistingReader(field, args.At(0, "reader"));
    if (args.Option("clear")) {
        field.ClearCallLog(reader);
        return kOk;
    }
    for (const auto& call : field.CallLog(reader)) {
        std::cout << call.function << " " << call.arguments << " -> "
                  << (call.blocked ? std::string("blocked") : std::to_string(call.result)) << "\n";
    }
    return kOk;
}

}  // namespace vreader::cli
