#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "errors/atl_exception.h"
#include "errors/coded_exception.h"
#include "errors/mifare_exception.h"
#include "errors/system_exception.h"
#include "platform/locale.h"

namespace {

constexpr std::uint32_t kEnglishUs = 0x0409;
constexpr std::uint32_t kRussian = 0x0419;
constexpr std::uint32_t kRussianMoldova = 0x0819;

struct CodeCase {
    std::int32_t code;
    std::u16string english;
    std::u16string russian;
};

const std::vector<CodeCase>& CodedCases() {
    static const std::vector<CodeCase> cases = {
        {0, u"Invalid parameter", u"Недопустимый параметр"},
        {1, u"Reader was not connected", u"Не было выполнено подключение к ридеру"},
        {2, u"Action is not allowed when reader is connected",
         u"Действие недопустимо пока подключен ридер"},
        {3, u"Card was not connected", u"Не было выполнено подключение к карте"},
        {4, u"Reader name was not set", u"Не задано имя считывателя"},
        {5, u"Reader type is not supported", u"Данный тип считывателя не поддерживается"},
        {6, u"Requested operation requires additional DLL that is missing or cannot be loaded",
         u"Для выполнения операции требуется дополнительная DLL, которая отсутствует или не может "
         u"быть загружена."},
        {7, u"Operation is not supported", u"Операция не поддерживается"},
        {8, u"Unexpected response received from token", u"Непредвиденный ответ электронного ключа"},
        {9, u"Token access code is incorrect", u"Код доступа к электронному ключу неверен"},
        {10, u"Access code is too long", u"Превышение максимальной длины кода доступа"},
        {11, u"Token access denied", u"Доступ к электронному ключу запрещен"},
        {12, u"Unsupported token type", u"Неверный тип электронного ключа"},
        {13, u"Unknown error 13", u"Неизвестная ошибка 13"},
        {-1, u"Unknown error -1", u"Неизвестная ошибка -1"},
    };
    return cases;
}

TEST(CodedErrorTexts, EveryCodeInBothLanguages) {
    for (const auto& c : CodedCases()) {
        {
            platform::ScopedThreadLocale english(kEnglishUs);
            CCodedException error(c.code, kSourceReaderBase);
            EXPECT_EQ(error.GetDescription(), c.english) << "code " << c.code;
            EXPECT_EQ(error.GetCode(), c.code);
        }
        for (std::uint32_t russianLocale : {kRussian, kRussianMoldova}) {
            platform::ScopedThreadLocale russian(russianLocale);
            CCodedException error(c.code, kSourceReaderBase);
            EXPECT_EQ(error.GetDescription(), c.russian)
                << "code " << c.code << " locale " << russianLocale;
        }
    }
}

TEST(CodedErrorTexts, OnlyThePrimaryLanguageCountsForRussian) {
    // 0x0419 with other high bits is still Russian; 0x0418 (Romanian) and a value
    // with 0x19 outside the low ten bits are not.
    {
        platform::ScopedThreadLocale locale(0x10419);
        EXPECT_EQ(CCodedException(1, kSourceReaderBase).GetDescription(),
                  u"Не было выполнено подключение к ридеру");
    }
    for (std::uint32_t notRussian : {0x0418u, 0x1900u, 0x0409u}) {
        platform::ScopedThreadLocale locale(notRussian);
        EXPECT_EQ(CCodedException(1, kSourceReaderBase).GetDescription(),
                  u"Reader was not connected");
    }
}

TEST(CodedErrorTexts, TextIsChosenWhenBuiltNotWhenRead) {
    std::u16string description;
    {
        platform::ScopedThreadLocale russian(kRussian);
        CCodedException error(4, kSourceReaderBase);
        platform::SetThreadLocaleOverride(kEnglishUs);
        description = error.GetDescription();
    }
    EXPECT_EQ(description, u"Не задано имя считывателя");
}

TEST(MifareErrorTexts, KnownAndUnknownCodes) {
    {
        platform::ScopedThreadLocale english(kEnglishUs);
        EXPECT_EQ(CMifareException(0, kSourceMifare).GetDescription(),
                  u"Direct writes to T-blocks disallowed for safety reasons");
        EXPECT_EQ(CMifareException(1, kSourceMifare).GetDescription(),
                  u"The text contains characters that cannot be stored on the card");
        EXPECT_EQ(CMifareException(3, kSourceMifare).GetDescription(),
                  u"The access key change was interrupted and may have changed only some "
                  u"sectors: run the same key change again to finish it");
        EXPECT_EQ(CMifareException(4, kSourceMifare, 9).GetDescription(),
                  u"The access conditions of sector 9 do not let key A rewrite it: the access key "
                  u"was not changed and nothing was written");
        EXPECT_EQ(CMifareException(7, kSourceMifare).GetDescription(), u"Unknown error 7");
    }
    {
        platform::ScopedThreadLocale russian(kRussian);
        EXPECT_EQ(CMifareException(0, kSourceMifare).GetDescription(),
                  u"В целях предотвращения повреждения карты прямая запись в T-блоки запрещена");
        EXPECT_EQ(CMifareException(1, kSourceMifare).GetDescription(),
                  u"Текст содержит символы, которые невозможно сохранить на карте");
        EXPECT_EQ(CMifareException(3, kSourceMifare).GetDescription(),
                  u"Смена ключа доступа прервана и могла затронуть лишь часть секторов: "
                  u"повторите ту же смену ключа, чтобы завершить её");
        EXPECT_EQ(CMifareException(4, kSourceMifare, 39).GetDescription(),
                  u"Условия доступа сектора 39 не позволяют ключу A перезаписать его: ключ доступа "
                  u"не изменён, на карту ничего не записано");
    }
}

TEST(ErrorFields, StatusIsAlwaysEFailAndSourceIsKept) {
    for (std::int32_t code : {0, 6, 12, 13, -1, 1000}) {
        CCodedException coded(code, kSourceMifare);
        EXPECT_EQ(static_cast<std::uint32_t>(coded.GetErrorCode()), 0x80004005u);
        EXPECT_EQ(coded.GetSource(), u"PCSCCard_Mifare");
        CMifareException mifare(code, kSourceMifare);
        EXPECT_EQ(static_cast<std::uint32_t>(mifare.GetErrorCode()), 0x80004005u);
    }
}

TEST(ErrorFields, CopiesAndThrownErrorsKeepEveryField) {
    platform::ScopedThreadLocale english(kEnglishUs);
    try {
        throw CCodedException(11, kSourceMifare);
    } catch (const ICOMSrvException& caught) {
        EXPECT_EQ(static_cast<std::uint32_t>(caught.GetErrorCode()), 0x80004005u);
        EXPECT_EQ(caught.GetSource(), u"PCSCCard_Mifare");
        EXPECT_EQ(caught.GetDescription(), u"Token access denied");
        const auto& coded = dynamic_cast<const CCodedException&>(caught);
        CCodedException copy(coded);
        EXPECT_EQ(copy.GetCode(), 11);
        EXPECT_EQ(copy.GetDescription(), caught.GetDescription());
        EXPECT_EQ(copy.GetSource(), caught.GetSource());
    }
}

TEST(ErrorFields, NullTextsAreStoredEmpty) {
    CSrvExceptionBase error(kEFail, nullptr, nullptr);
    EXPECT_TRUE(error.GetSource().empty());
    EXPECT_TRUE(error.GetDescription().empty());
}

TEST(SystemErrors, CheckHResultRaisesOnlyForFailures) {
    EXPECT_NO_THROW(CheckHResult(0, kSourceReaderBase));
    EXPECT_NO_THROW(CheckHResult(1, kSourceReaderBase));
    EXPECT_NO_THROW(CheckHResult(0x7FFFFFFF, kSourceReaderBase));
    try {
        CheckHResult(kEOutOfMemory, kSourceReaderBase);
        FAIL() << "a negative status must raise";
    } catch (const CSystemException& error) {
        EXPECT_EQ(error.GetErrorCode(), kEOutOfMemory);
        EXPECT_EQ(error.GetSource(), u"ACR120Base");
        // The system's text for "not enough memory", ending in a line break as
        // system messages do.
        const auto text = error.GetDescription();
        ASSERT_GE(text.size(), 3u);
        EXPECT_EQ(text.substr(text.size() - 2), u"\r\n");
    }
}

TEST(SystemErrors, StatusWithoutSystemTextHasEmptyDescription) {
    CSystemException error(static_cast<HResult>(0x80040201u), kSourceReaderBase);
    EXPECT_TRUE(error.GetDescription().empty());
    EXPECT_EQ(static_cast<std::uint32_t>(error.GetErrorCode()), 0x80040201u);
}

TEST(FrameworkErrors, CarryOnlyTheirHResult) {
    EXPECT_EQ(static_cast<std::uint32_t>(CAtlException(kEInvalidArg).GetHResult()), 0x80070057u);
    EXPECT_THROW(AtlThrow(kEInvalidArg), CAtlException);
}

}  // namespace
