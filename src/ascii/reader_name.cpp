#include "ascii/reader_name.h"

#include <type_traits>

#include "ascii/case_fold.h"

namespace ascii {

namespace {

constexpr std::string_view kSerialPrefix = "COM";
constexpr std::string_view kUsbPrefix = "USB";

template <typename Char>
std::optional<ReaderName> Parse(std::basic_string_view<Char> name) {
    if (name.size() != 4) {
        return std::nullopt;
    }
    std::string narrow;
    for (Char c : name) {
        if (static_cast<std::make_unsigned_t<Char>>(c) > 0x7F) {
            return std::nullopt;
        }
        narrow += static_cast<char>(c);
    }
    const char digit = narrow[3];
    if (digit < '1' || digit > '0' + kMaxReaderNumber) {
        return std::nullopt;
    }
    const std::string_view prefix = std::string_view(narrow).substr(0, 3);
    if (EqualIgnoringCase(prefix, kSerialPrefix)) {
        return ReaderName{ReaderKind::Serial, digit - '0'};
    }
    if (EqualIgnoringCase(prefix, kUsbPrefix)) {
        return ReaderName{ReaderKind::Usb, digit - '0'};
    }
    return std::nullopt;
}

}  // namespace

std::optional<ReaderName> ParseReaderName(std::string_view name) {
    return Parse(name);
}

std::optional<ReaderName> ParseReaderName(std::u16string_view name) {
    return Parse(name);
}

std::string ReaderNameText(ReaderName name) {
    return std::string(name.kind == ReaderKind::Usb ? kUsbPrefix : kSerialPrefix) +
           std::to_string(name.number);
}

std::optional<std::string> CanonicalReaderName(std::string_view name) {
    const auto parsed = ParseReaderName(name);
    if (!parsed) {
        return std::nullopt;
    }
    return ReaderNameText(*parsed);
}

}  // namespace ascii
