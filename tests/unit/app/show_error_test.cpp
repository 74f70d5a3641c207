// The error box texts exactly as users and support staff compare them.

#include <gtest/gtest.h>

#include "errors/coded_exception.h"
#include "errors/show_error.h"
#include "platform/locale.h"

namespace {

TEST(ShowErrorTest, TextsOfTheHierarchyAndFrameworkBoxes) {
    // Zero-padded upper-case hex, the 32-bit pattern of a negative status, and a
    // system text's final line break kept.
    EXPECT_EQ(FormatError(CSrvExceptionBase(0xA, u"S", u"text\r\n")), u"0000000A : S : text\r\n");
    EXPECT_EQ(FormatError(CAtlException(kEInvalidArg)), u"80070057");
    platform::ScopedThreadLocale russian(0x0419);
    EXPECT_EQ(FormatError(CCodedException(kErrCardNotConnected, u"ACR120Base")),
              u"80004005 : ACR120Base : Не было выполнено подключение к карте");
}

}  // namespace
