#include "card/key_change_interrupted.h"

#include "errors/language.h"
#include "errors/show_error.h"

namespace {

std::u16string WithCause(const ICOMSrvException& cause) {
    return CMifareException::CodeMessage(kMifareKeyChangeUnfinished) +
           (IsRussianThread() ? u". Причина: " : u". Cause: ") + FormatError(cause);
}

}  // namespace

CKeyChangeInterrupted::CKeyChangeInterrupted(const ICOMSrvException& cause)
    : CMifareException(kMifareKeyChangeUnfinished, kSourceMifare, WithCause(cause)),
      causeText_(FormatError(cause)),
      causeSource_(cause.GetSource()),
      causeDescription_(cause.GetDescription()),
      causeStatus_(cause.GetErrorCode()),
      causeKind_(KindOfNoticeError(cause)) {}
