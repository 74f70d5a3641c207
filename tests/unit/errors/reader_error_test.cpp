#include <gtest/gtest.h>

#include "platform/locale.h"
#include "reader/reader_error.h"

namespace {

struct ReturnCodeCase {
    std::int16_t code;
    const char16_t* english;
    const char16_t* russian;
};

constexpr ReturnCodeCase kCases[] = {
    {-1000, u"Internal error in ACR120*.DLL", u"Внутренняя ошибка ACR120*.DLL"},
    {-2000, u"The port is invalid", u"Неправильный порт"},
    {-2010, u"The port is occupied", u"Порт занят"},
    {-2020, u"The handle is invalid", u"Неправильный handle"},
    {-2030, u"Invalid parameter", u"Неправильный параметр"},
    {-3000, u"No card in reachable range or card is not selected",
     u"Нет карты в пределах поля ридера или карта не выбрана"},
    {-3010, u"Read fail after operation", u"Ошибка чтения после операции"},
    {-3020, u"Invalid value block format", u"Неправильный формат V-блока"},
    {-3030, u"Operation failed", u"Операция завершилась с ошибкой"},
    {-3040, u"Unknown reader error", u"Непредвиденная ошибка ридера"},
    {-4010, u"Invalid stored key format", u"Неправильный формат сохраненного ключа"},
    {-4011, u"Login failed", u"Ошибка аутентификации"},
    {-4012, u"The operation or access is not authorized", u"Доступ запрещен"},
    {-4020, u"Reader can't read after write operation", u"Ошибка чтения после записи"},
    {-4030, u"Decrement failure (empty)", u"Ошибка при уменьшении значения V-блока"},
    {-4031, u"Increment overflow", u"Переполнение при увеличении значения V-блока"},
    {-4032, u"Value operation failure", u"Ошибка операции с V-блоком"},
    {-4033, u"Invalid value block format", u"Неправильный формат V-блока"},
    {-4034, u"Value access failure", u"Ошибка доступа к V-блоку"},
    {-4025, u"ACR120 API error -4025", u"Ошибка ACR120 API -4025"},
    {-4021, u"ACR120 API error -4021", u"Ошибка ACR120 API -4021"},
    {-5000, u"ACR120 API error -5000", u"Ошибка ACR120 API -5000"},
    {7, u"ACR120 API error 7", u"Ошибка ACR120 API 7"},
};

TEST(ReaderErrorTexts, EveryCodeInBothLanguages) {
    for (const auto& c : kCases) {
        {
            platform::ScopedThreadLocale english(0x0409);
            EXPECT_EQ(ReaderErrorMessage(c.code), c.english) << c.code;
            CACR120Exception error(c.code);
            EXPECT_EQ(error.GetDescription(), c.english) << c.code;
        }
        {
            platform::ScopedThreadLocale russian(0x0419);
            EXPECT_EQ(CACR120Exception(c.code).GetDescription(), c.russian) << c.code;
        }
    }
}

TEST(CheckReaderResult, ZeroAndPositiveResultsPass) {
    EXPECT_NO_THROW(CheckReaderResult(0));
    EXPECT_NO_THROW(CheckReaderResult(3));  // a reader handle
    EXPECT_NO_THROW(CheckReaderResult(0x7FFF));
    // Only the low 16 bits count: a wide positive value with a clear bit 15 passes.
    EXPECT_NO_THROW(CheckReaderResult(0x12340001));
}

TEST(CheckReaderResult, NegativeResultRaisesWithAllFields) {
    platform::ScopedThreadLocale english(0x0409);
    try {
        CheckReaderResult(-4011);
        FAIL() << "-4011 must raise";
    } catch (const ICOMSrvException& caught) {
        EXPECT_EQ(static_cast<std::uint32_t>(caught.GetErrorCode()), 0x80004005u);
        EXPECT_EQ(caught.GetSource(), u"ACR120");
        EXPECT_EQ(caught.GetDescription(), u"Login failed");
        EXPECT_EQ(dynamic_cast<const CACR120Exception&>(caught).GetReturnCode(), -4011);
    }
}

TEST(CheckReaderResult, LowSixteenBitsAreTakenAsSigned) {
    platform::ScopedThreadLocale english(0x0409);
    try {
        CheckReaderResult(0x00008000);
        FAIL() << "0x8000 in the low bits is negative";
    } catch (const CACR120Exception& error) {
        EXPECT_EQ(error.GetReturnCode(), -32768);
        EXPECT_EQ(error.GetDescription(), u"ACR120 API error -32768");
    }
}

TEST(CheckReaderResult, RussianThreadGetsRussianText) {
    platform::ScopedThreadLocale russian(0x0419);
    try {
        CheckReaderResult(-2010);
        FAIL();
    } catch (const CACR120Exception& error) {
        EXPECT_EQ(error.GetDescription(), u"Порт занят");
    }
}

}  // namespace
