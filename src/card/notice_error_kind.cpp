#include "card/notice_error_kind.h"

#include "card/key_change_interrupted.h"
#include "card/notice_text.h"
#include "errors/coded_exception.h"
#include "errors/mifare_exception.h"
#include "reader/acr120_api.h"
#include "reader/reader_error.h"

NoticeErrorKind KindOfNoticeError(const ICOMSrvException& error) {
    if (const auto* interrupted = dynamic_cast<const CKeyChangeInterrupted*>(&error)) {
        return interrupted->CauseKind();
    }
    if (const auto* reader = dynamic_cast<const CACR120Exception*>(&error)) {
        const std::int16_t code = reader->GetReturnCode();
        if (code == acr120::rc::kInvalidStoredKey || code == acr120::rc::kLoginFailed ||
            code == acr120::rc::kNotAuthorized) {
            return NoticeErrorKind::kKey;
        }
        // The port and handle errors come before the card errors in the library's codes.
        return code > acr120::rc::kNoCard ? NoticeErrorKind::kReader : NoticeErrorKind::kCard;
    }
    if (dynamic_cast<const notice_text::CNoticeTooLong*>(&error) != nullptr) {
        return NoticeErrorKind::kTextRefused;
    }
    if (const auto* coded = dynamic_cast<const CCodedException*>(&error)) {
        switch (coded->GetCode()) {
            case kErrReaderNotConnected:
            case kErrReaderConnected:
            case kErrReaderNameNotSet:
            case kErrReaderTypeNotSupported:
            case kErrLibraryMissing:
                return NoticeErrorKind::kReader;
            case kErrAccessCodeTooLong:
            case kErrAccessCodeIncorrect:
            case kErrTokenAccessDenied:
                return NoticeErrorKind::kKey;
            default:
                return NoticeErrorKind::kCard;
        }
    }
    if (const auto* mifareError = dynamic_cast<const CMifareException*>(&error)) {
        return mifareError->GetCode() == kMifareTextNotStorable ? NoticeErrorKind::kTextRefused
                                                                : NoticeErrorKind::kCard;
    }
    return NoticeErrorKind::kOther;
}
