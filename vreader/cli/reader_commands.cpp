// init, add-reader, remove-reader, list.

#include <iostream>

#include "ascii/reader_name.h"
#include "cli/card_display.h"
#include "cli/command_handlers.h"
#include "cli/exit_codes.h"
#include "core/state.h"

namespace vreader::cli {

int ReportStateProblems(const std::vector<std::string>& problems) {
    for (const auto& problem : problems) {
        std::cerr << "tagquill-vreader: " << problem << "\n";
    }
    return problems.empty() ? kOk : kBadFormat;
}

int InitCommand(VirtualField& field, const Args&) {
    field.Init();
    std::cout << "State folder " << field.Dir().string() << " with readers";
    for (const auto& reader : field.Readers()) {
        std::cout << " " << reader;
    }
    std::cout << "\n";
    return kOk;
}

int AddReaderCommand(VirtualField& field, const Args& args) {
    const std::string& given = args.At(0, "reader name");
    const auto name = ascii::CanonicalReaderName(given);
    if (!name) {
        BadValue("'" + given + "' is no reader name (COM1..COM8 or USB1..USB8)");
    }
    const auto station = args.Option("station");
    field.AddReader(*name, static_cast<std::uint8_t>(station ? Number(*station, 0, 255, "--station")
                                                             : state::kDefaultStation));
    std::cout << "Reader " << *name << " at " << field.ReaderDir(*name).string() << "\n";
    return kOk;
}

int RemoveReaderCommand(VirtualField& field, const Args& args) {
    field.RemoveReader(ExistingReader(field, args.At(0, "reader name")));
    return kOk;
}

int ListCommand(VirtualField& field, const Args&) {
    std::cout << "State folder " << field.Dir().string() << "\n";
    const auto readers = field.Readers();
    if (readers.empty()) {
        std::cout << "No readers (create them with: tagquill-vreader init)\n";
    }
    std::vector<std::string> problems;
    for (const auto& reader : readers) {
        std::cout << reader;
        if (reader.starts_with("COM")) {
            std::string problem;
            std::cout << " (station " << static_cast<int>(field.Station(reader, &problem)) << ")";
            if (!problem.empty()) {
                problems.push_back(problem);
            }
        }
        std::vector<std::string> badLines;
        const auto faults = field.FaultLines(reader, &badLines);
        problems.insert(problems.end(), badLines.begin(), badLines.end());
        if (!faults.empty()) {
            std::cout << " [" << faults.size() << " fault(s)]";
        }
        std::cout << "\n";
        const auto cards = field.Field(reader);
        if (cards.empty()) {
            std::cout << "  (no card in the field)\n";
        }
        for (const auto& card : cards) {
            std::cout << "  " << DescribeCard(card) << "\n";
        }
    }
    const auto offField = field.OffFieldCards();
    if (!offField.empty()) {
        std::cout << "Cards outside the readers (" << field.CardsDir().string() << ")\n";
        for (const auto& card : offField) {
            std::cout << "  " << DescribeCard(card) << "\n";
        }
    }
    return ReportStateProblems(problems);
}

}  // namespace vreader::cli
