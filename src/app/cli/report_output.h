#pragma once
// What tagquill-notice prints: plain text for people (one line per card in a
// batch), or one JSON object per line with --json. Results go to stdout, the
// window's error texts to stderr as well, so a script that reads only stdout
// still sees each card's outcome.

#include <string>
#include <vector>

#include "app/cli/card_commands.h"
#include "app/cli/options.h"

namespace notice_cli {

class ReportOutput {
public:
    ReportOutput(const Options& options, std::string reader)
        : options_(options), reader_(std::move(reader)) {}

    void Card(const CardReport& report);
    // A failure before any card: the library, the reader, a refused text.
    void Failed(const Failure& failure);
    void Readers(const std::vector<std::string>& names);

private:
    const Options& options_;
    std::string reader_;
};

// A notice on one line: backslash, line breaks and tabs escaped as \\, \n, \r, \t.
std::string OneLine(const std::string& text);

}  // namespace notice_cli
