#pragma once
#include <cstdint>

#include "errors/com_srv_exception.h"

// Conditions of the Mifare card layer.
enum MifareError : std::int32_t {
    kMifareTrailerWriteRefused = 0,
    // Text that the ANSI code page cannot hold is refused rather than stored
    // with replacement characters.
    kMifareTextNotStorable = 1,
    // The system cannot convert text to or from its ANSI code page at all; the
    // detail is the code page.
    kMifareCodePageUnavailable = 2,
    // An access key change stopped after it may have rewritten some trailers;
    // the same change run again finishes it.
    kMifareKeyChangeUnfinished = 3,
    // A sector's access conditions do not let key A rewrite what an access key
    // change must write (its key A, its notice blocks); the detail is the sector.
    // Found before anything is written.
    kMifareSectorNotRewritable = 4,
};

class CMifareException : public CSrvExceptionBase {
public:
    CMifareException(std::int32_t code, const char16_t* source, long long detail = 0);

    std::int32_t GetCode() const { return code_; }

    static std::u16string CodeMessage(std::int32_t code, long long detail = 0);

protected:
    // A message made of more than the code's own text.
    CMifareException(std::int32_t code, const char16_t* source, const std::u16string& description);

private:
    std::int32_t code_;
};
