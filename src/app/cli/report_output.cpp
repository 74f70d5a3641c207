#include "app/cli/report_output.h"

#include <iostream>
#include <nlohmann/json.hpp>

namespace notice_cli {
namespace {

// Keys in a fixed order, the reader and the card first, for people reading along.
using json = nlohmann::ordered_json;

std::string Dump(const json& object) {
    // Texts are valid UTF-8 already (conversions replace what they cannot
    // decode); replacing again is only the last guard against a thrown dump.
    return object.dump(-1, ' ', false, json::error_handler_t::replace);
}

json FailureJson(const Failure& failure) {
    json object{{"text", failure.text},
                {"status", failure.status},
                {"source", failure.source},
                {"description", failure.description}};
    if (failure.cause) {
        object["cause"] = json{{"text", failure.cause->text},
                               {"status", failure.cause->status},
                               {"source", failure.cause->source},
                               {"description", failure.cause->description}};
    }
    return object;
}

std::string Usage(const CardReport& report) {
    return std::to_string(report.length.value_or(0)) + " / " +
           std::to_string(report.capacity.value_or(0));
}

// What a command did, in words; `batch` puts a notice on one line.
std::string Outcome(Command command, const CardReport& report, bool batch) {
    switch (command) {
        case Command::Read:
            return batch ? OneLine(report.notice.value_or("")) : report.notice.value_or("");
        case Command::Info:
            return (batch ? "" : "UID " + report.uid.value_or("-") + "  ") +
                   CardKindName(report.cardType) + "  notice " + Usage(report);
        case Command::Write:
        case Command::Clear:
            return "written " + Usage(report);
        case Command::ChangeKey:
            // The window's own words for it.
            return "Code changed successfully !";
        case Command::Readers:
            break;
    }
    return {};
}

}  // namespace

std::string OneLine(const std::string& text) {
    std::string line;
    for (char c : text) {
        switch (c) {
            case '\\':
                line += "\\\\";
                break;
            case '\n':
                line += "\\n";
                break;
            case '\r':
                line += "\\r";
                break;
            case '\t':
                line += "\\t";
                break;
            default:
                line.push_back(c);
        }
    }
    return line;
}

void ReportOutput::Card(const CardReport& report) {
    if (report.failure && !options_.each) {
        // What info learnt before the failure (a wrong key still shows the card).
        if (!options_.json && options_.command == Command::Info && report.uid) {
            std::cout << "UID " << *report.uid << "  " << CardKindName(report.cardType)
                      << std::endl;
        }
        std::cerr << "tagquill-notice: " << report.failure->text << "\n";
    }
    if (options_.json) {
        json object{{"reader", reader_},
                    {"uid", report.uid ? json(*report.uid) : json(nullptr)},
                    {"card", report.uid ? json(CardKindName(report.cardType)) : json(nullptr)},
                    {"ok", !report.failure}};
        if (report.capacity) {
            object["capacity"] = *report.capacity;
        }
        if (report.length && !report.failure) {
            object["length"] = *report.length;
        }
        if (report.notice && !report.failure) {
            object["notice"] = *report.notice;
        }
        if (report.keyChanged) {
            object["keyChanged"] = true;
        }
        if (report.failure) {
            object["exit"] = report.failure->exit;
            object["error"] = FailureJson(*report.failure);
        }
        std::cout << Dump(object) << std::endl;
        return;
    }
    if (options_.each) {
        std::cout << report.uid.value_or("-") << "\t"
                  << (report.failure ? "error: " + report.failure->text
                                     : Outcome(options_.command, report, true))
                  << std::endl;
        return;
    }
    if (report.failure) {
        return;
    }
    // A single write or clear is silent on success, as file tools are.
    if (options_.command != Command::Write && options_.command != Command::Clear) {
        std::cout << Outcome(options_.command, report, false) << std::endl;
    }
}

void ReportOutput::Failed(const Failure& failure) {
    std::cerr << "tagquill-notice: " << failure.text << "\n";
    if (options_.json) {
        // The same keys as a card's line, so a script reads every line alike.
        std::cout << Dump(json{{"reader", reader_},
                               {"uid", nullptr},
                               {"card", nullptr},
                               {"ok", false},
                               {"exit", failure.exit},
                               {"error", FailureJson(failure)}})
                  << std::endl;
    }
}

void ReportOutput::Readers(const std::vector<std::string>& names) {
    if (options_.json) {
        std::cout << Dump(json{{"readers", names}}) << std::endl;
        return;
    }
    for (const auto& name : names) {
        std::cout << name << "\n";
    }
}

}  // namespace notice_cli
