#pragma once
// Letter case of A to Z alone. Reader names, hex digits and file endings are ASCII
// and must fold alike whatever locale the program runs in, which std::tolower and
// std::toupper follow; every other character stays as it is.

#include <string>
#include <string_view>

namespace ascii {

constexpr char ToLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}
constexpr char ToUpper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}
constexpr char16_t ToLower(char16_t c) {
    return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c;
}

std::string Lower(std::string_view text);
std::string Upper(std::string_view text);

bool EqualIgnoringCase(std::string_view a, std::string_view b);
bool EqualIgnoringCase(std::u16string_view a, std::u16string_view b);

}  // namespace ascii
