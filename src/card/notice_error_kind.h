#pragma once
// What a failed notice command was about, for callers that tell failures apart by
// kind rather than by text (the command-line tool's exit codes). The window shows
// every failure the same way, as its error box.

#include "errors/com_srv_exception.h"

enum class NoticeErrorKind {
    kReader,       // no reader library, a reader that cannot be opened or used
    kCard,         // no card, another kind of card, the card gone, card I/O
    kKey,          // the key does not open the card, or its text is refused
    kTextRefused,  // the notice holds characters the code page lacks, or is too long
    kOther,        // anything else, such as a system error
};

NoticeErrorKind KindOfNoticeError(const ICOMSrvException& error);
