#include "ascii/case_fold.h"

#include <algorithm>

namespace ascii {

namespace {

template <typename Char>
bool SameLetters(std::basic_string_view<Char> a, std::basic_string_view<Char> b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](Char x, Char y) { return ToLower(x) == ToLower(y); });
}

}  // namespace

std::string Lower(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), [](char c) { return ToLower(c); });
    return out;
}

std::string Upper(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), [](char c) { return ToUpper(c); });
    return out;
}

bool EqualIgnoringCase(std::string_view a, std::string_view b) {
    return SameLetters(a, b);
}

bool EqualIgnoringCase(std::u16string_view a, std::u16string_view b) {
    return SameLetters(a, b);
}

}  // namespace ascii
