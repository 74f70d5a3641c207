#pragma once
// tagquill-notice's exit codes, for scripts. --help and the README list them.

namespace notice_cli {

enum Exit : int {
    kOk = 0,
    kFailure = 1,       // a file that cannot be read, out of memory, anything else
    kUsage = 2,         // unknown command or option, missing or conflicting arguments
    kReader = 3,        // reader library missing, reader cannot be opened or used
    kCard = 4,          // no card, not a MIFARE Classic 1K/4K card, card left, card I/O
    kKey = 5,           // the key does not open the card, or the key text is refused
    kTextRefused = 6,   // characters the code page lacks, too long, not UTF-8, NUL, empty input
    kNoCardInTime = 7,  // --wait SECONDS ran out before a card came
    kInterrupted = 130  // Ctrl+C (or SIGTERM) while waiting for a card
};

}  // namespace notice_cli
