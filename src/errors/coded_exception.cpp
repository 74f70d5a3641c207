#include "errors/coded_exception.h"

#include <iterator>

#include "errors/language.h"

namespace {

struct CodeText {
    const char16_t* english;
    const char16_t* russian;
};

constexpr CodeText kCodeTexts[] = {
    {u"Invalid parameter", u"Недопустимый параметр"},
    {u"Reader was not connected", u"Не было выполнено подключение к ридеру"},
    {u"Action is not allowed when reader is connected",
     u"Действие недопустимо пока подключен ридер"},
    {u"Card was not connected", u"Не было выполнено подключение к карте"},
    {u"Reader name was not set", u"Не задано имя считывателя"},
    {u"Reader type is not supported", u"Данный тип считывателя не поддерживается"},
    {u"Requested operation requires additional DLL that is missing or cannot be loaded",
     u"Для выполнения операции требуется дополнительная DLL, которая отсутствует или не может "
     u"быть загружена."},
    {u"Operation is not supported", u"Операция не поддерживается"},
    {u"Unexpected response received from token", u"Непредвиденный ответ электронного ключа"},
    {u"Token access code is incorrect", u"Код доступа к электронному ключу неверен"},
    {u"Access code is too long", u"Превышение максимальной длины кода доступа"},
    {u"Token access denied", u"Доступ к электронному ключу запрещен"},
    {u"Unsupported token type", u"Неверный тип электронного ключа"},
};

}  // namespace

CCodedException::CCodedException(std::int32_t code, const char16_t* source)
    : CSrvExceptionBase(kEFail, source, nullptr) {
    SetDescription(FormatCodeMessage(code));
}

std::u16string CCodedException::FormatCodeMessage(std::int32_t code) {
    code_ = code;
    return CodeMessage(code);
}

std::u16string CCodedException::CodeMessage(std::int32_t code) {
    const bool russian = IsRussianThread();
    // The range test is unsigned, so negative codes take the default text too.
    if (static_cast<std::uint32_t>(code) < std::size(kCodeTexts)) {
        const CodeText& text = kCodeTexts[code];
        return russian ? text.russian : text.english;
    }
    return WithNumber(russian ? u"Неизвестная ошибка %d" : u"Unknown error %d", code);
}
