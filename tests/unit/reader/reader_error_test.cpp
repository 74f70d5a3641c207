#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "platform/locale.h"
#include "reader/reader_error.h"

namespace {

std::u16string MessageIn(std::uint32_t locale, std::int16_t code) {
    platform::ScopedThreadLocale scoped(locale);
    return ReaderErrorMessage(code);
}

std::u16string Fallback(const char16_t* prefix, int code) {
    std::u16string text = prefix;
    for (char c : std::to_string(code)) {
        text += static_cast<char16_t>(c);
    }
    return text;
}

bool HasCyrillic(const std::u16string& text) {
    return std::any_of(text.begin(), text.end(),
                       [](char16_t c) { return c >= u'\u0400' && c <= u'\u04FF'; });
}

// The failures this program's users meet, word for word: a slip here is what they read.
TEST(ReaderErrorTexts, TheCodesUsersMeetReadAsTheLibraryDocumentsThem) {
    struct Case {
        std::int16_t code;
        const char16_t* english;
        const char16_t* russian;
    };
    const Case cases[] = {
        {-2000, u"The port is invalid", u"Неправильный порт"},
        {-2010, u"The port is occupied", u"Порт занят"},
        {-2030, u"Invalid parameter", u"Неправильный параметр"},
        {-3000, u"No card in reachable range or card is not selected",
         u"Нет карты в пределах поля ридера или карта не выбрана"},
        {-4011, u"Login failed", u"Ошибка аутентификации"},
        {-4012, u"The operation or access is not authorized", u"Доступ запрещен"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(MessageIn(0x0409, c.code), c.english) << c.code;
        EXPECT_EQ(MessageIn(0x0419, c.code), c.russian) << c.code;
        platform::ScopedThreadLocale russian(0x0419);
        EXPECT_EQ(CACR120Exception(c.code).GetDescription(), c.russian) << c.code;
    }
}

// Over every code a 16-bit result can hold: a code has its own text in both
// languages or the numbered fallback in both, never a mix, and no two codes share
// a text but the two that mean the same (a value block in the wrong format,
// reported by the library and by the card).
TEST(ReaderErrorTexts, EveryCodeHasItsOwnTextOrTheNumberedOneInBothLanguages) {
    std::map<std::u16string, std::vector<int>> codesByText;
    int known = 0;
    for (int code = -32768; code <= 32767; ++code) {
        const auto value = static_cast<std::int16_t>(code);
        const std::u16string english = MessageIn(0x0409, value);
        const std::u16string russian = MessageIn(0x0419, value);
        const bool englishFallback = english == Fallback(u"ACR120 API error ", code);
        const bool russianFallback = russian == Fallback(u"Ошибка ACR120 API ", code);
        ASSERT_EQ(englishFallback, russianFallback) << code;
        if (englishFallback) {
            continue;
        }
        ++known;
        EXPECT_LT(code, 0) << "a success code with an error text";
        EXPECT_FALSE(HasCyrillic(english)) << code;
        EXPECT_TRUE(HasCyrillic(russian)) << code;
        codesByText[english].push_back(code);
    }
    EXPECT_EQ(known, 19);
    for (const auto& [text, codes] : codesByText) {
        if (text == u"Invalid value block format") {
            EXPECT_EQ(codes, (std::vector<int>{-4033, -3020}));
        } else {
            EXPECT_EQ(codes.size(), 1u) << codes.front();
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
