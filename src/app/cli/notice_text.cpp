#include "app/cli/notice_text.h"

#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <utility>

#include "card/notice_text.h"
#include "platform/code_page.h"

namespace notice_cli {

namespace {

std::string WithoutNul(std::string text, const std::string& where) {
    if (text.find('\0') != std::string::npos) {
        throw RefusedText(where +
                          " contains a NUL character (UTF-16 without a byte order mark?); "
                          "the notice would end there: save it as UTF-8");
    }
    return text;
}

}  // namespace

std::string AsUtf8(std::string bytes, const std::string& where) {
    const auto startsWith = [&](std::string_view mark) { return bytes.starts_with(mark); };
    if (startsWith("\xFF\xFE") || startsWith("\xFE\xFF")) {
        const bool little = startsWith("\xFF\xFE");
        std::u16string text;
        for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
            const auto low = static_cast<unsigned char>(bytes[little ? i : i + 1]);
            const auto high = static_cast<unsigned char>(bytes[little ? i + 1 : i]);
            text.push_back(static_cast<char16_t>(low | high << 8));
        }
        return WithoutNul(platform::Utf16ToUtf8(text), where);
    }
    if (startsWith("\xEF\xBB\xBF")) {
        bytes.erase(0, 3);
    }
    // Text that is UTF-8 comes back unchanged from UTF-16; anything else has had
    // replacement characters put in.
    if (platform::Utf16ToUtf8(platform::Utf8ToUtf16(bytes)) != bytes) {
        throw NotUtf8Text(where +
                          " is not UTF-8 text (saved as \"ANSI\"?): save it as UTF-8 or "
                          "Unicode");
    }
    return WithoutNul(std::move(bytes), where);
}

std::u16string NoticeFromUtf8(std::string_view utf8) {
    if (utf8.substr(0, 3) == "\xEF\xBB\xBF") {
        utf8.remove_prefix(3);
    }
    return notice_text::WithCrLf(platform::Utf8ToUtf16(utf8));
}

std::string NoticeToUtf8(std::string_view storedText) {
    return platform::Utf16ToUtf8(notice_text::WithoutCrLf(notice_text::FromStored(storedText)));
}

std::string ReadAll(const std::string& file) {
    if (file == "-") {
        std::ostringstream all;
        all << std::cin.rdbuf();
        if (std::cin.bad()) {
            throw std::runtime_error("cannot read stdin");
        }
        return all.str();
    }
    // The name is UTF-8, which a narrow path on Windows would take as ANSI.
    const std::filesystem::path path(std::u8string(file.begin(), file.end()));
    std::error_code error;
    if (std::filesystem::is_directory(path, error)) {
        throw std::runtime_error(file + " is a folder, not a file");
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw std::runtime_error("cannot read " + file);
    }
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) {
        throw std::runtime_error("cannot read " + file);
    }
    return text;
}

std::string WithoutFinalLineBreak(std::string text) {
    if (!text.empty() && text.back() == '\n') {
        text.pop_back();
        if (!text.empty() && text.back() == '\r') {
            text.pop_back();
        }
    }
    return text;
}

std::string FirstLine(const std::string& text) {
    const auto end = text.find('\n');
    return WithoutFinalLineBreak(end == std::string::npos ? text : text.substr(0, end + 1));
}

}  // namespace notice_cli
