#include "platform/code_page.h"

#include <iconv.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <vector>

#include "platform/locale.h"

namespace platform {

namespace {

constexpr unsigned kNotSet = 0;
std::atomic<unsigned> gFixedCodePage{kNotSet};
std::atomic<unsigned> gOverrideCodePage{kNotSet};

std::string CharacterLocaleName() {
    for (const char* variable : {"LC_ALL", "LC_CTYPE", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value != nullptr && *value != '\0') {
            return value;
        }
    }
    return {};
}

// iconv knows some code pages by other names; the first that opens is used.
std::vector<std::string> IconvNames(unsigned codePage) {
    switch (codePage) {
        case 874:
            return {"CP874", "WINDOWS-874", "TIS-620"};
        case 932:
            return {"CP932", "WINDOWS-31J", "SHIFT_JIS"};
        case 936:
            return {"CP936", "GBK"};
        case 949:
            return {"CP949", "UHC"};
        case 950:
            return {"CP950", "BIG5"};
        case 54936:
            return {"GB18030"};
        case 65001:
            return {"UTF-8"};
        case 50220:
        case 50221:
        case 50222:
            return {"ISO-2022-JP", "CP50220"};
        default:
            return {"CP" + std::to_string(codePage)};
    }
}

class Converter {
public:
    Converter(bool toAnsi, unsigned codePage) {
        for (const auto& name : IconvNames(codePage)) {
            handle_ = toAnsi ? iconv_open(name.c_str(), "UTF-16LE")
                             : iconv_open("UTF-16LE", name.c_str());
            if (handle_ != reinterpret_cast<iconv_t>(-1)) {
                return;
            }
        }
        // Another code page in its place would store bytes that the Windows
        // program reads as other characters.
        throw CodePageUnavailable(codePage);
    }
    ~Converter() { iconv_close(handle_); }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    iconv_t get() const { return handle_; }

private:
    iconv_t handle_ = reinterpret_cast<iconv_t>(-1);
};

std::string ToUtf16LeBytes(std::u16string_view text) {
    std::string bytes;
    bytes.reserve(text.size() * 2);
    for (char16_t unit : text) {
        bytes.push_back(static_cast<char>(unit & 0xFF));
        bytes.push_back(static_cast<char>(unit >> 8));
    }
    return bytes;
}

// One UTF-16 unit from its two bytes, low byte first.
char16_t Utf16LeUnit(const char* bytes) {
    return static_cast<char16_t>(static_cast<unsigned char>(bytes[0]) |
                                 (static_cast<unsigned char>(bytes[1]) << 8));
}

std::u16string FromUtf16LeBytes(std::string_view bytes) {
    std::u16string text;
    text.reserve(bytes.size() / 2);
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        text.push_back(Utf16LeUnit(bytes.data() + i));
    }
    return text;
}

// Doubles iconv's output buffer, keeping what was written and where the next byte goes.
void GrowOutput(std::string& output, char*& out, size_t& outLeft) {
    const size_t used = static_cast<size_t>(out - output.data());
    output.resize(output.size() * 2);
    out = output.data() + used;
    outLeft = output.size() - used;
}

// Between two Unicode encodings, which iconv always has. An input unit that is
// not valid (a lone surrogate, a broken UTF-8 sequence) becomes `replacement`,
// U+FFFD in the output's encoding, and the input moves on by `unitSize` bytes.
std::string Recode(const char* to, const char* from, std::string_view input, size_t unitSize,
                   std::string_view replacement) {
    const iconv_t converter = iconv_open(to, from);
    if (converter == reinterpret_cast<iconv_t>(-1)) {
        throw std::runtime_error(std::string("no conversion from ") + from + " to " + to);
    }
    const std::unique_ptr<void, int (*)(iconv_t)> closer(converter, &iconv_close);
    std::string source(input);
    char* in = source.data();
    size_t inLeft = source.size();
    std::string output;
    char buffer[256];
    while (inLeft > 0) {
        char* out = buffer;
        size_t outLeft = sizeof buffer;
        const size_t result = iconv(converter, &in, &inLeft, &out, &outLeft);
        output.append(buffer, static_cast<size_t>(out - buffer));
        if (result == static_cast<size_t>(-1) && errno != E2BIG) {
            const size_t skip = std::min(unitSize, inLeft);
            in += skip;
            inLeft -= skip;
            output.append(replacement);
        }
    }
    return output;
}

}  // namespace

void FixAnsiCodePage() {
    gFixedCodePage = AnsiCodePageForLocaleName(CharacterLocaleName());
}

unsigned AnsiCodePage() {
    if (unsigned overridden = gOverrideCodePage.load(); overridden != kNotSet) {
        return overridden;
    }
    if (unsigned fixed = gFixedCodePage.load(); fixed != kNotSet) {
        return fixed;
    }
    return AnsiCodePageForLocaleName(CharacterLocaleName());
}

void SetAnsiCodePageOverride(std::optional<unsigned> codePage) {
    gOverrideCodePage = codePage.value_or(kNotSet);
}

AnsiConversion ToAnsi(std::u16string_view text) {
    AnsiConversion result;
    Converter converter(true, AnsiCodePage());
    std::string input = ToUtf16LeBytes(text);
    char* in = input.data();
    size_t inLeft = input.size();
    std::string output(input.size() * 2 + 16, '\0');
    char* out = output.data();
    size_t outLeft = output.size();
    while (inLeft > 0) {
        if (iconv(converter.get(), &in, &inLeft, &out, &outLeft) != static_cast<size_t>(-1)) {
            break;
        }
        if (errno == E2BIG) {
            GrowOutput(output, out, outLeft);
            continue;
        }
        // A character the code page lacks (or a lone surrogate): the code page's
        // default character stands in for it, and the caller is told.
        const char16_t unit = Utf16LeUnit(in);
        size_t skip = 2;
        if (unit >= 0xD800 && unit <= 0xDBFF && inLeft >= 4) {
            const char16_t next = Utf16LeUnit(in + 2);
            if (next >= 0xDC00 && next <= 0xDFFF) {
                skip = 4;
            }
        }
        in += skip;
        inLeft -= skip;
        if (outLeft == 0) {
            GrowOutput(output, out, outLeft);
        }
        *out++ = '?';
        --outLeft;
        result.replaced = true;
    }
    // Some converters hold back a character until they know what follows.
    while (iconv(converter.get(), nullptr, nullptr, &out, &outLeft) == static_cast<size_t>(-1) &&
           errno == E2BIG) {
        GrowOutput(output, out, outLeft);
    }
    output.resize(static_cast<size_t>(out - output.data()));
    result.bytes = std::move(output);
    // Some converters store a character the code page lacks as a look-alike that
    // reads back as another character (glibc's CP932 writes U+00AC as the
    // full-width sign): that text would not read back as it was written.
    if (!result.replaced && FromAnsi(result.bytes) != text) {
        result.replaced = true;
    }
    return result;
}

std::u16string FromAnsi(std::string_view bytes) {
    Converter converter(false, AnsiCodePage());
    std::string input(bytes);
    char* in = input.data();
    size_t inLeft = input.size();
    std::string output(input.size() * 4 + 16, '\0');
    char* out = output.data();
    size_t outLeft = output.size();
    while (inLeft > 0) {
        if (iconv(converter.get(), &in, &inLeft, &out, &outLeft) != static_cast<size_t>(-1)) {
            break;
        }
        // Room is ample (4 output bytes per input byte); anything else is a byte
        // the code page does not define.
        ++in;
        --inLeft;
        *out++ = static_cast<char>(0xFD);
        *out++ = static_cast<char>(0xFF);
        outLeft -= 2;
    }
    // The Vietnamese and Hebrew converters hold the last character back, waiting for a
    // combining mark; without this the text would lose its last character.
    iconv(converter.get(), nullptr, nullptr, &out, &outLeft);
    return FromUtf16LeBytes(
        std::string_view(output.data(), static_cast<size_t>(out - output.data())));
}

std::u16string AsciiToUtf16(std::string_view ascii) {
    return std::u16string(ascii.begin(), ascii.end());
}

std::string Utf16ToUtf8(std::u16string_view text) {
    return Recode("UTF-8", "UTF-16LE", ToUtf16LeBytes(text), 2, "\xEF\xBF\xBD");
}

std::u16string Utf8ToUtf16(std::string_view text) {
    return FromUtf16LeBytes(Recode("UTF-16LE", "UTF-8", text, 1, "\xFD\xFF"));
}

}  // namespace platform
