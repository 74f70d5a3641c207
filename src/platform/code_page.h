#pragma once
// Conversion between UTF-16 text and the system ANSI code page, the 8-bit
// encoding in which the notice and the access keys are stored on the card.

#include <optional>
#include <string>

namespace platform {

// Fixes the code page every later conversion uses (the program does this once at
// start). Windows: CP_ACP. POSIX: the ANSI code page of the user's locale.
void FixAnsiCodePage();

// The code page conversions use now.
unsigned AnsiCodePage();

// Tests pin a code page for the whole process; nullopt returns to the fixed one.
void SetAnsiCodePageOverride(std::optional<unsigned> codePage);

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
