#include "reader/reader_error.h"

#include "errors/language.h"

namespace {

struct ReturnCodeText {
    std::int16_t code;
    const char16_t* english;
    const char16_t* russian;
};

constexpr ReturnCodeText kReturnCodeTexts[] = {
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
};

}  // namespace

CACR120Exception::CACR120Exception(std::int16_t returnCode)
    : CSrvExceptionBase(kEFail, kSourceReaderLibrary, nullptr), returnCode_(returnCode) {
    SetDescription(ReaderErrorMessage(returnCode));
}

void CheckReaderResult(std::int32_t result) {
    const auto code = static_cast<std::int16_t>(static_cast<std::uint16_t>(result & 0xFFFF));
    if (code < 0) {
        throw CACR120Exception(code);
    }
}

std::u16string ReaderErrorMessage(std::int16_t returnCode) {
    const bool russian = IsRussianThread();
    for (const auto& entry : kReturnCodeTexts) {
        if (entry.code == returnCode) {
            return russian ? entry.russian : entry.english;
        }
    }
    return WithNumber(russian ? u"Ошибка ACR120 API %d" : u"ACR120 API error %d", returnCode);
}
