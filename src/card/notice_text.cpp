#include "card/notice_text.h"

#include <algorithm>

#include "card/block_maps.h"
#include "errors/mifare_exception.h"
#include "platform/code_page.h"

namespace notice_text {

std::uint16_t Capacity(std::uint16_t cardType) {
    const auto blocks = static_cast<std::uint16_t>(mifare::DefaultBlockMap(cardType).size());
    return blocks == 0 ? 0
                       : static_cast<std::uint16_t>(blocks * mifare::kBlockSize - kLengthFieldSize);
}

std::size_t StoredSize(std::u16string_view text) noexcept {
    // Only a multi-byte code page can take more than one byte for a unit.
    if (platform::IsMultiByteCodePage(platform::AnsiCodePage())) {
        try {
            return platform::ToAnsi(text).bytes.size();
        } catch (...) {
            // A code page that cannot be opened, or no memory: Save will say which.
        }
    }
    return text.size();
}

std::string ToStored(std::u16string_view text) {
    platform::AnsiConversion converted;
    try {
        converted = platform::ToAnsi(text);
    } catch (const platform::CodePageUnavailable& error) {
        throw CMifareException(kMifareCodePageUnavailable, kSourceMifare, error.CodePage());
    }
    if (converted.replaced) {
        throw CMifareException(kMifareTextNotStorable, kSourceMifare);
    }
    return std::move(converted.bytes);
}

std::u16string FromStored(std::string_view bytes) {
    return platform::FromAnsi(bytes);
}

std::u16string WithCrLf(std::u16string_view text) {
    std::u16string crLf;
    crLf.reserve(text.size() + text.size() / 8);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == u'\n' && (i == 0 || text[i - 1] != u'\r')) {
            crLf.push_back(u'\r');
        }
        crLf.push_back(text[i]);
    }
    return crLf;
}

std::u16string WithoutCrLf(std::u16string_view text) {
    std::u16string plain;
    plain.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (!(text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')) {
            plain.push_back(text[i]);
        }
    }
    return plain;
}

CNoticeTooLong::CNoticeTooLong() : CCodedException(kErrInvalidParameter, kSourceMifare) {}

void CheckFits(std::string_view stored, std::uint16_t capacity) {
    if (stored.size() > capacity) {
        throw CNoticeTooLong();
    }
}

std::vector<std::uint8_t> Record(std::string_view stored) {
    std::vector<std::uint8_t> record(stored.size() + kLengthFieldSize);
    record[0] = static_cast<std::uint8_t>(stored.size() & 0xFF);
    record[1] = static_cast<std::uint8_t>((stored.size() >> 8) & 0xFF);
    std::copy(stored.begin(), stored.end(), record.begin() + kLengthFieldSize);
    return record;
}

}  // namespace notice_text
