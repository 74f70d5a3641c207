#pragma once
// One command on the card in the field, through the window's own card sequences
// (the same key rule, code page, capacity and refusals), and what a line of
// output needs to say about it. Failures come back as the window's error text
// with the exit code of their kind.

#include <cstdint>
#include <optional>
#include <string>

#include "app/cli/options.h"

class ICOMSrvException;
namespace app {
class ICardSession;
}

namespace notice_cli {

// The texts a command needs, already in UTF-16 (the notice with CR LF breaks),
// and the notice as the card stores it, once PrepareNotice has made it.
struct CommandTexts {
    std::u16string key;
    std::u16string newKey;
    std::u16string notice;
    std::string noticeBytes;
};

struct Failure {
    int exit = 1;
    std::string text;  // "STATUS : source : description", as the window's error box
    std::string status, source, description;
    // Why an access key change was interrupted: the error that stopped it.
    struct Cause {
        std::string text, status, source, description;
    };
    std::optional<Cause> cause;
};

struct CardReport {
    std::optional<std::string> uid;         // hex, when a card was selected
    std::uint16_t cardType = 0;             // of that card
    std::optional<std::string> notice;      // read: UTF-8, LF line breaks
    std::optional<std::uint32_t> length;    // the notice's stored length in bytes
    std::optional<std::uint32_t> capacity;  // the card's capacity in bytes
    bool keyChanged = false;
    std::optional<Failure> failure;
};

// The checks that need no card, made before any reader is opened, so that a
// batch does not fail card after card: the key texts turn into keys, and the
// notice fits the code page and the largest card. Each throws the error the card
// sequence itself would raise.
void CheckKeys(Command command, const CommandTexts& texts);
void PrepareNotice(CommandTexts& texts);

CardReport RunCardCommand(app::ICardSession& card, Command command, const CommandTexts& texts);

enum class Stage { Reader, Keys, Text, Card };
// The exit code for an error of the window's hierarchy raised at `stage`.
int ExitFor(const ICOMSrvException& error, Stage stage);
Failure FailureOf(const ICOMSrvException& error, int exit);
// A failure that is not an error of the window's hierarchy: the text is all it says.
Failure PlainFailure(std::string text, int exit);
// A notice the card cannot hold: the error line says the sizes, which "Invalid
// parameter" alone does not. `capacity` is this card's, or the largest card's
// when no card is known yet.
void SayNoticeSizes(Failure& failure, const ICOMSrvException& error, std::size_t noticeBytes,
                    std::uint16_t capacity, bool thisCard);

std::string CardKindName(std::uint16_t cardType);

}  // namespace notice_cli
