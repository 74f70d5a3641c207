#pragma once
// A negative result of the reader library, raised as an error of the hierarchy
// with the library's own return code and a bilingual text for it.

#include <cstdint>

#include "errors/com_srv_exception.h"

class CACR120Exception : public CSrvExceptionBase {
public:
    explicit CACR120Exception(std::int16_t returnCode);

    std::int16_t GetReturnCode() const { return returnCode_; }

private:
    std::int16_t returnCode_;
};

// Takes the low 16 bits of a library result as a signed number and raises a
// CACR120Exception when it is negative.
void CheckReaderResult(std::int32_t result);

// The text for a library return code in the calling thread's language.
std::u16string ReaderErrorMessage(std::int16_t returnCode);
