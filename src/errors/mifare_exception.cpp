#include "errors/mifare_exception.h"

#include "errors/language.h"

CMifareException::CMifareException(std::int32_t code, const char16_t* source, long long detail)
    : CSrvExceptionBase(kEFail, source, nullptr), code_(code) {
    SetDescription(CodeMessage(code, detail));
}

CMifareException::CMifareException(std::int32_t code, const char16_t* source,
                                   const std::u16string& description)
    : CSrvExceptionBase(kEFail, source, nullptr), code_(code) {
    SetDescription(description);
}

std::u16string CMifareException::CodeMessage(std::int32_t code, long long detail) {
    const bool russian = IsRussianThread();
    switch (code) {
        case kMifareTrailerWriteRefused:
            return russian ? u"В целях предотвращения повреждения карты прямая запись в T-блоки "
                             u"запрещена"
                           : u"Direct writes to T-blocks disallowed for safety reasons";
        case kMifareTextNotStorable:
            return russian ? u"Текст содержит символы, которые невозможно сохранить на карте"
                           : u"The text contains characters that cannot be stored on the card";
        case kMifareCodePageUnavailable:
            return WithNumber(russian ? u"Кодовая страница %d недоступна в этой системе: текст "
                                        u"невозможно преобразовать"
                                      : u"Code page %d is not available on this system: the text "
                                        u"cannot be converted",
                              detail);
        case kMifareKeyChangeUnfinished:
            return russian ? u"Смена ключа доступа прервана и могла затронуть лишь часть "
                             u"секторов: повторите ту же смену ключа, чтобы завершить её"
                           : u"The access key change was interrupted and may have changed only "
                             u"some sectors: run the same key change again to finish it";
        case kMifareSectorNotRewritable:
            return WithNumber(russian ? u"Условия доступа сектора %d не позволяют ключу A "
                                        u"перезаписать его: ключ доступа не изменён, на карту "
                                        u"ничего не записано"
                                      : u"The access conditions of sector %d do not let key A "
                                        u"rewrite it: the access key was not changed and "
                                        u"nothing was written",
                              detail);
        default:
            return WithNumber(russian ? u"Неизвестная ошибка %d" : u"Unknown error %d", code);
    }
}
