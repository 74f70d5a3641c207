#include "errors/language.h"

#include <string>

#include "platform/locale.h"

bool IsRussianThread() {
    return (platform::ThreadLocaleId() & 0x3FF) == 0x19;
}

std::u16string WithNumber(std::u16string_view pattern, long long number) {
    const std::string digits = std::to_string(number);
    std::u16string text(pattern);
    const auto at = text.find(u"%d");
    if (at != std::u16string::npos) {
        text.replace(at, 2, std::u16string(digits.begin(), digits.end()));
    }
    return text;
}
