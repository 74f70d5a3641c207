#include "control/dump_text.h"

#include <cctype>

namespace vreader::dump_text {

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

}  // namespace

void BadFormat(const std::string& message) {
    throw ControlError(ErrorKind::kBadFormat, message);
}

void BadImage(const std::string& message) {
    throw ControlError(ErrorKind::kBadImage, message);
}

Bytes DecodeHex(const std::string& text, std::size_t bytes, const std::string& where) {
    if (bytes != 0 && text.size() != bytes * 2) {
        BadFormat(where + ": expected " + std::to_string(bytes * 2) + " hex digits, found " +
                  std::to_string(text.size()));
    }
    if (text.size() % 2 != 0) {
        BadFormat(where + ": odd number of hex digits");
    }
    Bytes out;
    for (std::size_t i = 0; i < text.size(); i += 2) {
        const int high = HexDigit(text[i]);
        const int low = HexDigit(text[i + 1]);
        if (high < 0 || low < 0) {
            const char bad = high < 0 ? text[i] : text[i + 1];
            BadFormat(
                where + ": '" + std::string(1, bad) + "' is not a hex digit" +
                (bad == '-' ? " (an unknown byte; fill in the missing keys or data first)" : ""));
        }
        out.push_back(static_cast<std::uint8_t>(high << 4 | low));
    }
    return out;
}

void CheckImageSize(const Bytes& image, const std::string& what) {
    if (!KindOfImageSize(image.size())) {
        BadImage(what + " holds " + std::to_string(image.size()) +
                 " bytes; a card image has 1024 (1K), 4096 (4K) or 64 (7-byte UID tag)");
    }
}

std::string Lower(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return text;
}

std::string Trim(const std::string& line) {
    const auto first = line.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) {
        return {};
    }
    const auto last = line.find_last_not_of(" \t\r\n");
    return line.substr(first, last - first + 1);
}

}  // namespace vreader::dump_text
