// tagquill-notice: the window's notice commands for scripts and batch work, over
// the same card layer, presence monitor and reader discovery.

#include <chrono>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/card_session.h"
#include "app/cli/card_commands.h"
#include "app/cli/card_events.h"
#include "app/cli/exit_codes.h"
#include "app/cli/notice_text.h"
#include "app/cli/options.h"
#include "app/cli/progress_line.h"
#include "app/cli/report_output.h"
#include "app/cli/usage_text.h"
#include "app/program_end.h"
#include "ascii/reader_name.h"
#include "card/notice_file.h"
#include "card/notice_text.h"
#include "discovery/reader_discovery.h"
#include "errors/caught_error.h"
#include "errors/com_srv_exception.h"
#include "errors/show_error.h"
#include "platform/code_page.h"
#include "platform/console.h"
#include "platform/library.h"

namespace notice_cli {
namespace {

using std::chrono::milliseconds;

std::string TextOf(const TextSource& source, bool firstLineOnly, const std::string& what) {
    if (source.text) {
        return AsUtf8(*source.text, what);
    }
    if (!source.file) {
        return {};
    }
    const std::string where = *source.file == "-" ? what + " from stdin" : *source.file;
    const std::string all = AsUtf8(ReadAll(*source.file), where);
    return firstLineOnly ? FirstLine(all) : WithoutFinalLineBreak(all);
}

CommandTexts ReadTexts(const Options& options) {
    CommandTexts texts;
    texts.key = platform::Utf8ToUtf16(TextOf(options.key, true, "the key"));
    texts.newKey = platform::Utf8ToUtf16(TextOf(options.newKey, true, "the new key"));
    if (options.command == Command::Write) {
        TextSource notice = options.notice;
        if (!notice.Given()) {
            notice.file = "-";
        }
        const std::string text = TextOf(notice, false, "the notice");
        // A producer that failed upstream of a pipe leaves nothing; emptying the
        // card's notice takes a word of its own, as the window asks before it.
        if (text.empty() && !notice.text) {
            throw RefusedText((notice.FromStdin() ? "the notice from stdin" : *notice.file) +
                              " is empty; to empty the notice use 'clear' or write \"\"");
        }
        texts.notice = NoticeFromUtf8(text);
    }
    return texts;
}

std::vector<std::string> FoundReaders() {
    std::vector<std::u16string> names;
    EnumReaders(names);
    std::vector<std::string> found;
    for (const auto& name : names) {
        found.push_back(platform::Utf16ToUtf8(name));
    }
    return found;
}

std::string FoundList(const std::vector<std::string>& found) {
    if (found.empty()) {
        return "no reader found";
    }
    std::string list;
    for (const auto& name : found) {
        list += (list.empty() ? "found " : ", ") + name;
    }
    return list;
}

std::string ChooseReader(const Options& options) {
    // A name no reader can have is a typing error, not a reader that failed.
    if (options.reader && !ascii::ParseReaderName(*options.reader)) {
        throw UsageError("unknown reader " + *options.reader + ": COM1..COM8 or USB1..USB8 (" +
                         FoundList(FoundReaders()) + ")");
    }
    if (options.reader) {
        return *options.reader;
    }
    const std::vector<std::string> found = FoundReaders();
    if (found.size() == 1) {
        return found[0];
    }
    if (found.empty()) {
        throw UsageError("no reader found; name one with --reader");
    }
    throw UsageError("choose a reader with --reader (" + FoundList(found) + ")");
}

std::string SecondsText(double seconds) {
    std::string text = std::to_string(seconds);
    text.erase(text.find_last_not_of('0') + 1);
    if (text.back() == '.') {
        text.pop_back();
    }
    return text;
}

// Waits for cards and runs the command on each, as --wait and --each ask.
int RunWaiting(const Options& options, const std::string& reader, app::ICardSession& card,
               CardEvents& events, const CommandTexts& texts, ReportOutput& output) {
    const bool terminal = platform::StderrIsTerminal();
    int firstFailure = kOk;
    unsigned long done = 0;
    for (;;) {
        std::optional<CardEvents::Clock::time_point> deadline;
        if (options.waitSeconds) {
            deadline =
                CardEvents::Clock::now() + std::chrono::duration_cast<CardEvents::Clock::duration>(
                                               std::chrono::duration<double>(*options.waitSeconds));
        }
        WaitOutcome waited;
        {
            ProgressLine line(terminal, "Waiting for a card on " + reader + " (Ctrl+C to stop)",
                              milliseconds(0));
            waited = events.WaitForCard(deadline);
        }
        if (waited == WaitOutcome::Interrupted) {
            return options.each ? firstFailure : kInterrupted;
        }
        if (waited == WaitOutcome::TimedOut) {
            if (options.each && done > 0) {
                return firstFailure;
            }
            output.Failed(PlainFailure(
                "no card came within " + SecondsText(*options.waitSeconds) + " s", kNoCardInTime));
            return kNoCardInTime;
        }
        CardReport report;
        {
            ProgressLine line(terminal, "Working on the card in " + reader, milliseconds(1000));
            report = RunCardCommand(card, options.command, texts);
        }
        output.Card(report);
        if (report.failure && firstFailure == kOk) {
            firstFailure = report.failure->exit;
        }
        ++done;
        if (!options.each || (options.count && done >= *options.count)) {
            return firstFailure;
        }
        ProgressLine line(terminal, "Take the card away from " + reader, milliseconds(0));
        if (events.WaitForCardGone() == WaitOutcome::Interrupted) {
            return firstFailure;
        }
    }
}

int RunCommand(const Options& options) {
    if (options.command == Command::Readers) {
        ReportOutput(options, "").Readers(FoundReaders());
        return kOk;
    }
    CommandTexts texts;
    try {
        texts = ReadTexts(options);
    } catch (const RefusedText& error) {
        ReportOutput(options, options.reader.value_or(""))
            .Failed(PlainFailure(error.what(), kTextRefused));
        return kTextRefused;
    } catch (const std::runtime_error& error) {
        ReportOutput(options, options.reader.value_or(""))
            .Failed(PlainFailure(error.what(), kFailure));
        return kFailure;
    }
    const std::string reader = ChooseReader(options);
    ReportOutput output(options, reader);
    Stage stage = Stage::Keys;
    // Declared before the card: the card's monitor posts to them until the card
    // object has stopped it.
    CardEvents events;
    std::optional<platform::InterruptWatch> interrupts;
    std::unique_ptr<app::ICardSession> card;
    try {
        CheckKeys(options.command, texts);
        stage = Stage::Text;
        if (options.command == Command::Write) {
            PrepareNotice(texts);
        }
        stage = Stage::Reader;
        const bool waiting = options.wait || options.each;
        if (waiting) {
            interrupts.emplace([&events] { events.Interrupt(); });
        }
        card = app::MakeMifareCardSession(platform::ProgramModule(), LibraryLoading::kOnConnect);
        card->SetReaderName(platform::Utf8ToUtf16(reader).c_str());
        card->Connect();
        if (waiting) {
            // A monitor that cannot start fails here, with the reader closed.
            card->StartMonitor(&events, kMonitorMessage);
            return RunWaiting(options, reader, *card, events, texts, output);
        }
    } catch (const ICOMSrvException& error) {
        Failure failure = FailureOf(error, ExitFor(error, stage));
        SayNoticeSizes(failure, error, texts.noticeBytes.size(),
                       notice_text::Capacity(kCardTypeMifare4K), false);
        output.Failed(failure);
        return failure.exit;
    }
    CardReport report;
    {
        ProgressLine line(platform::StderrIsTerminal(), "Working on the card in " + reader,
                          milliseconds(1000));
        report = RunCardCommand(*card, options.command, texts);
    }
    output.Card(report);
    return report.failure ? report.failure->exit : kOk;
}

int RunOptions(const std::vector<std::string>& words) {
    const Options options = ParseOptions(words);
    if (options.help) {
        std::cout << kUsageText;
        return kOk;
    }
    if (options.version) {
        std::cout << "tagquill-notice " << TAGQUILL_VERSION << "\n";
        return kOk;
    }
    if (options.codePage) {
        platform::SetAnsiCodePageOverride(*options.codePage);
    }
    return RunCommand(options);
}

int Main(const std::vector<std::string>& words) {
    // Before any text is converted, as in the window.
    platform::FixAnsiCodePage();
    int exit = kFailure;
    try {
        CatchProgramErrors(
            [&] { exit = RunOptions(words); },
            [](const CaughtError& caught) {
                std::cerr << "tagquill-notice: " << platform::Utf16ToUtf8(caught.Text()) << "\n";
            });
    } catch (const UsageError& error) {
        std::cerr << "tagquill-notice: " << error.what() << "\n"
                  << "Try 'tagquill-notice --help'.\n";
        exit = kUsage;
    } catch (const std::exception& error) {
        std::cerr << "tagquill-notice: " << error.what() << "\n";
    }
    // Says which reader library could not be loaded and why, as the window does.
    app::FinishProgram("tagquill-notice");
    return exit;
}

}  // namespace
}  // namespace notice_cli

int main(int argc, char** argv) {
    return notice_cli::Main(platform::Utf8Arguments(argc, argv));
}
