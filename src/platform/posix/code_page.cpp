#include "platform/code_page.h"

#include <iconv.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
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
        case 874: return {"CP874", "WINDOWS-874", "TIS-620"};
        case 932: return {"CP932", "WINDOWS-31J", "SHIFT_JIS"};
        case 936: return {"CP936", "GBK"};
        case 949: return {"CP949", "UHC"};
        case 950: return {"CP950", "BIG5"};
        default: return {"CP" + std::to_string(codePage)};
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
        // An unknown code page degrades to Western European rather than failing
        // every conversion of the program.
        handle_ = toAnsi ? iconv_open("CP1252", "UTF-16LE") : iconv_open("UTF-16LE", "CP1252");
    }
    ~Converter() {
        if (valid()) {
            iconv_close(handle_);
        }
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    bool valid() const { return handle_ != reinterpret_cast<iconv_t>(-1); }
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

}  // namespace

void FixAnsiCodePage() { gFixedCodePage = AnsiCodePageForLocaleName(CharacterLocaleName()); }

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
    while (inLeft > 0 && converter.valid()) {
        if (iconv(converter.get(), &in, &inLeft, &out, &outLeft) != static_cast<size_t>(-1)) {
            break;
        }
        if (errno == E2BIG) {
            size_t used = static_cast<size_t>(out - output.data());
            output.resize(output.size() * 2);
            out = output.data() + used;
            outLeft = output.size() - used;
            continue;
        }
        // A character the code page lacks (or a lone surrogate): the code page's
        // default character stands in for it, and the caller is told.
        char16_t unit = static_cast<char16_t>(static_cast<unsigned char>(in[0]) |
                                              (static_cast<unsigned char>(in[1]) << 8));
        size_t skip = 2;
        if (unit >= 0xD800 && unit <= 0xDBFF && inLeft >= 4) {
            char16_t next = static_cast<char16_t>(static_cast<unsigned char>(in[2]) |
                                                  (static_cast<unsigned char>(in[3]) << 8));
            if (next >= 0xDC00 && next <= 0xDFFF) {
                skip = 4;
            }
        }
        in += skip;
        inLeft -= skip;
        if (outLeft == 0) {
            size_t used = static_cast<size_t>(out - output.data());
            output.resize(output.size() * 2);
            out = output.data() + used;
            outLeft = output.size() - used;
        }
        *out++ = '?';
        --outLeft;
        result.replaced = true;
    }
    output.resize(static_cast<size_t>(out - output.data()));
    result.bytes = std::move(output);
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
    while (inLeft > 0 && converter.valid()) {
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
    size_t produced = static_cast<size_t>(out - output.data());
    std::u16string text;
    text.reserve(produced / 2);
    for (size_t i = 0; i + 1 < produced; i += 2) {
        text.push_back(static_cast<char16_t>(static_cast<unsigned char>(output[i]) |
                                             (static_cast<unsigned char>(output[i + 1]) << 8)));
    }
    return text;
}

std::u16string AsciiToUtf16(std::string_view ascii) {
    return std::u16string(ascii.begin(), ascii.end());
}

std::string Utf16ToUtf8(std::u16string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t cp = text[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD;
        }
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}

std::u16string Utf8ToUtf16(std::string_view text) {
    std::u16string out;
    size_t i = 0;
    while (i < text.size()) {
        unsigned char lead = static_cast<unsigned char>(text[i]);
        char32_t cp = 0xFFFD;
        size_t length = 1;
        if (lead < 0x80) {
            cp = lead;
        } else if ((lead >> 5) == 0x6) {
            length = 2;
            cp = lead & 0x1F;
        } else if ((lead >> 4) == 0xE) {
            length = 3;
            cp = lead & 0x0F;
        } else if ((lead >> 3) == 0x1E) {
            length = 4;
            cp = lead & 0x07;
        } else {
            length = 0;
        }
        if (length == 0 || i + length > text.size()) {
            out.push_back(0xFFFD);
            ++i;
            continue;
        }
        bool valid = true;
        for (size_t k = 1; k < length; ++k) {
            unsigned char next = static_cast<unsigned char>(text[i + k]);
            if ((next >> 6) != 0x2) {
                valid = false;
                break;
            }
            cp = (cp << 6) | (next & 0x3F);
        }
        if (!valid || cp > 0x10FFFF) {
            out.push_back(0xFFFD);
            ++i;
            continue;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
        i += length;
    }
    return out;
}

}  // namespace platform
