#pragma once
// An access key change that stopped once the card may hold sectors on both keys.
// The user must hear both that the same change run again finishes it and why it
// stopped (the card taken away, a key refused, the reader failing): the message
// carries the cause's own text, and its kind decides how the failure is counted.

#include <string>

#include "card/notice_error_kind.h"
#include "errors/mifare_exception.h"

class CKeyChangeInterrupted : public CMifareException {
public:
    explicit CKeyChangeInterrupted(const ICOMSrvException& cause);

    // "STATUS : source : description" of the cause, and its parts.
    const std::u16string& CauseText() const { return causeText_; }
    HResult CauseStatus() const { return causeStatus_; }
    const std::u16string& CauseSource() const { return causeSource_; }
    const std::u16string& CauseDescription() const { return causeDescription_; }
    NoticeErrorKind CauseKind() const { return causeKind_; }

private:
    std::u16string causeText_;
    std::u16string causeSource_;
    std::u16string causeDescription_;
    HResult causeStatus_;
    NoticeErrorKind causeKind_;
};
