#pragma once
#include <cstdint>

#include "errors/com_srv_exception.h"

// Conditions shared by the card layer, the reader driver and the monitor.
enum CodedError : std::int32_t {
    kErrInvalidParameter = 0,
    kErrReaderNotConnected = 1,
    kErrReaderConnected = 2,
    kErrCardNotConnected = 3,
    kErrReaderNameNotSet = 4,
    kErrReaderTypeNotSupported = 5,
    kErrLibraryMissing = 6,
    kErrOperationNotSupported = 7,
    kErrUnexpectedResponse = 8,
    kErrAccessCodeIncorrect = 9,
    kErrAccessCodeTooLong = 10,
    kErrTokenAccessDenied = 11,
    kErrUnsupportedTokenType = 12,
};

class CCodedException : public CSrvExceptionBase {
public:
    CCodedException(std::int32_t code, const char16_t* source);

    std::int32_t GetCode() const { return code_; }

    // The text of a code in the raising thread's language.
    static std::u16string CodeMessage(std::int32_t code);

protected:
    // Records the code and returns its text; only the constructor calls it.
    virtual std::u16string FormatCodeMessage(std::int32_t code);

private:
    std::int32_t code_ = 0;
};
