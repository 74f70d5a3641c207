#include "platform/code_page.h"

#include <windows.h>

#include <atomic>

namespace platform {

namespace {

constexpr unsigned kNotSet = 0xFFFFFFFFu;
std::atomic<unsigned> gOverrideCodePage{kNotSet};

int Length(std::size_t size) {
    return static_cast<int>(size);
}

// One character of a code page (one byte, or a lead and a trail byte) to
// UTF-16; U+FFFD when the code page does not define it.
std::size_t AppendCharacter(unsigned codePage, std::string_view bytes, std::u16string& text) {
    std::size_t size = 1;
    if (IsDBCSLeadByteEx(codePage, static_cast<BYTE>(bytes[0])) && bytes.size() > 1) {
        size = 2;
    }
    wchar_t units[4] = {};
    const int count =
        MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data(), Length(size), units, 4);
    if (count <= 0) {
        text.push_back(u'\xFFFD');
    } else {
        text.append(reinterpret_cast<const char16_t*>(units), static_cast<std::size_t>(count));
    }
    return size;
}

// Fails with CodePageUnavailable when Windows converts nothing: an empty result
// for a text would store an empty notice, or turn every key into FF x 6.
std::string WideToMultiByte(unsigned codePage, DWORD flags, std::u16string_view text,
                            BOOL* usedDefault) {
    if (text.empty()) {
        return {};
    }
    const auto* wide = reinterpret_cast<const wchar_t*>(text.data());
    const int size = WideCharToMultiByte(codePage, flags, wide, Length(text.size()), nullptr, 0,
                                         nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
    if (size <= 0 || WideCharToMultiByte(codePage, flags, wide, Length(text.size()), bytes.data(),
                                         size, nullptr, usedDefault) != size) {
        throw CodePageUnavailable(codePage);
    }
    return bytes;
}

// A code page the system lacks would convert every text to nothing: Save would
// store an empty notice and every key would become FF x 6.
unsigned UsableAnsiCodePage() {
    const unsigned codePage = AnsiCodePage();
    if (!IsValidCodePage(codePage)) {
        throw CodePageUnavailable(codePage);
    }
    return codePage;
}

}  // namespace

void FixAnsiCodePage() {
    // CP_ACP is the system's choice for the whole session; nothing to fix.
}

unsigned AnsiCodePage() {
    const unsigned overridden = gOverrideCodePage.load();
    return overridden != kNotSet ? overridden : GetACP();
}

void SetAnsiCodePageOverride(std::optional<unsigned> codePage) {
    gOverrideCodePage = codePage.value_or(kNotSet);
}

AnsiConversion ToAnsi(std::u16string_view text) {
    AnsiConversion result;
    const unsigned codePage = UsableAnsiCodePage();
    if (TakesNoConversionFlags(codePage)) {
        result.bytes = WideToMultiByte(codePage, 0, text, nullptr);
        result.replaced = FromAnsi(result.bytes) != text;
        return result;
    }
    BOOL usedDefault = FALSE;
    // No best fit: a character without its own form becomes '?' and the caller
    // learns of it, rather than silently turning into a look-alike.
    result.bytes = WideToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, text, &usedDefault);
    result.replaced = usedDefault != FALSE;
    return result;
}

// Empty when Windows converts nothing (a byte the code page does not define,
// with `flags` asking to be told).
std::u16string MultiByteToWide(unsigned codePage, DWORD flags, std::string_view bytes) {
    const int size =
        MultiByteToWideChar(codePage, flags, bytes.data(), Length(bytes.size()), nullptr, 0);
    std::u16string text(static_cast<std::size_t>(size > 0 ? size : 0), u'\0');
    if (size > 0 && MultiByteToWideChar(codePage, flags, bytes.data(), Length(bytes.size()),
                                        reinterpret_cast<wchar_t*>(text.data()), size) != size) {
        text.clear();
    }
    return text;
}

std::u16string FromAnsi(std::string_view bytes) {
    const unsigned codePage = UsableAnsiCodePage();
    if (bytes.empty()) {
        return {};
    }
    // UTF-8 and GB 18030 take the one flag that reports undefined bytes; the other
    // code pages without flags take none, and Windows stands in for what they lack.
    const bool unicode = codePage == CP_UTF8 || codePage == 54936;
    if (TakesNoConversionFlags(codePage) && !unicode) {
        std::u16string text = MultiByteToWide(codePage, 0, bytes);
        if (text.empty()) {
            throw CodePageUnavailable(codePage);
        }
        return text;
    }
    if (std::u16string text = MultiByteToWide(codePage, MB_ERR_INVALID_CHARS, bytes);
        !text.empty()) {
        return text;
    }
    if (unicode) {
        // A broken sequence becomes U+FFFD, as Windows converts it unasked.
        return MultiByteToWide(codePage, 0, bytes);
    }
    // Some byte is not defined: character by character, so that only it is lost.
    std::u16string text;
    while (!bytes.empty()) {
        bytes.remove_prefix(AppendCharacter(codePage, bytes, text));
    }
    return text;
}

std::u16string AsciiToUtf16(std::string_view ascii) {
    return std::u16string(ascii.begin(), ascii.end());
}

std::string Utf16ToUtf8(std::u16string_view text) {
    return WideToMultiByte(CP_UTF8, 0, text, nullptr);
}

std::u16string Utf8ToUtf16(std::string_view text) {
    if (text.empty()) {
        return {};
    }
    const int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), Length(text.size()), nullptr, 0);
    std::u16string wide(static_cast<std::size_t>(size > 0 ? size : 0), u'\0');
    if (size > 0) {
        MultiByteToWideChar(CP_UTF8, 0, text.data(), Length(text.size()),
                            reinterpret_cast<wchar_t*>(wide.data()), size);
    }
    return wide;
}

}  // namespace platform
