#include "control/dump_text.h"

#include <algorithm>

#include "ascii/hex.h"

namespace vreader::dump_text {

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
    auto decoded = ascii::ParseHex(text);
    if (!decoded) {
        const char bad = *std::find_if_not(text.begin(), text.end(), ascii::IsHexDigit);
        BadFormat(where + ": '" + std::string(1, bad) + "' is not a hex digit" +
                  (bad == '-' ? " (an unknown byte; fill in the missing keys or data first)" : ""));
    }
    return std::move(*decoded);
}

void CheckImageSize(const Bytes& image, const std::string& what) {
    if (!KindOfImageSize(image.size())) {
        BadImage(what + " holds " + std::to_string(image.size()) +
                 " bytes; a card image has 1024 (1K), 4096 (4K) or 64 (7-byte UID tag)");
    }
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
