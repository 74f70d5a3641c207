#pragma once
// The notice between the terminal and the card: UTF-8 with LF line breaks
// outside, UTF-16 with CR LF inside, as the window's editor keeps it (so a notice
// written here shows its lines in the window, and a line break counts two
// against the capacity there as here).

#include <string>
#include <string_view>

namespace notice_cli {

// A text from the terminal or a file: a leading UTF-8 byte order mark dropped,
// LF (and CR LF) made CR LF.
std::u16string NoticeFromUtf8(std::string_view utf8);
// The card's bytes, in the code page in force, for the terminal: CR LF made LF.
std::string NoticeToUtf8(std::string_view storedText);

// Everything a file (or stdin for "-") holds; throws std::runtime_error naming
// the file when it cannot be read.
std::string ReadAll(const std::string& file);
// What a file's text means as one value: one final line break dropped, as the
// shell's $(...) does, so `echo text | tagquill-notice write` stores "text".
std::string WithoutFinalLineBreak(std::string text);
// A key file's first line, without its line break.
std::string FirstLine(const std::string& text);

}  // namespace notice_cli
