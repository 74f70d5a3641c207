#pragma once
// Conversion between UTF-16 text and the system ANSI code page, the 8-bit
// encoding in which the notice and the access keys are stored on the card.

#include <optional>
#include <stdexcept>
#include <string>

namespace platform {

// Fixes the code page every later conversion uses (the program does this once at
// start). Windows: CP_ACP. POSIX: the ANSI code page of the user's locale.
void FixAnsiCodePage();

// The code page conversions use now.
unsigned AnsiCodePage();

// Tests pin a code page for the whole process; nullopt returns to the fixed one.
void SetAnsiCodePageOverride(std::optional<unsigned> codePage);

// Raised by ToAnsi and FromAnsi when the system cannot convert to or from the
// code page at all: converting anyway would turn every text into nothing.
class CodePageUnavailable : public std::runtime_error {
public:
    explicit CodePageUnavailable(unsigned codePage)
        : std::runtime_error("code page " + std::to_string(codePage) + " cannot be opened"),
          codePage_(codePage) {}
    unsigned CodePage() const { return codePage_; }

private:
    unsigned codePage_;
};

// The code pages whose characters may take more than one byte: the double-byte
// ones (Japanese, Simplified Chinese, Korean, Traditional Chinese), GB 18030 and
// UTF-8, which a Windows set to "use Unicode UTF-8 for worldwide language
// support" has as its ANSI code page. The card and both editors count bytes.
inline bool IsMultiByteCodePage(unsigned codePage) {
    return codePage == 932 || codePage == 936 || codePage == 949 || codePage == 950 ||
           codePage == 54936 || codePage == 65001;
}

// Windows' conversion to these code pages refuses every flag and the "default
// character used" report (UTF-8 and GB 18030 would take one flag we do not need):
// asked with them, it fails and converts nothing. Characters they cannot hold are
// found by converting back instead.
inline bool TakesNoConversionFlags(unsigned codePage) {
    return codePage == 42 || (codePage >= 50220 && codePage <= 50229) ||
           (codePage >= 57002 && codePage <= 57011) || codePage == 54936 || codePage == 65000 ||
           codePage == 65001;
}

struct AnsiConversion {
    std::string bytes;
    // True when at least one character had no form in the code page and was
    // replaced by the code page's default character '?'.
    bool replaced = false;
};

AnsiConversion ToAnsi(std::u16string_view text);
// Bytes the code page does not define become U+FFFD.
std::u16string FromAnsi(std::string_view bytes);

// Plain ASCII helpers for the program's own fixed texts.
std::u16string AsciiToUtf16(std::string_view ascii);
std::string Utf16ToUtf8(std::u16string_view text);
std::u16string Utf8ToUtf16(std::string_view text);

}  // namespace platform
