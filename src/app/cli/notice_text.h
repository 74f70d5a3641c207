#pragma once
// The notice between the terminal and the card: UTF-8 with LF line breaks
// outside, UTF-16 with CR LF inside, as the window's editor keeps it (so a notice
// written here shows its lines in the window, and a line break counts two
// against the capacity there as here).

#include <stdexcept>
#include <string>
#include <string_view>

namespace notice_cli {

// Text the tool will not pass on to the card, for what it is rather than for
// what the card could hold.
struct RefusedText : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Text that is not UTF-8, such as a file Notepad saved as "ANSI": it would reach
// the card as replacement characters.
struct NotUtf8Text : RefusedText {
    using RefusedText::RefusedText;
};

// A file's or the terminal's bytes as UTF-8: a file with a byte order mark may be
// UTF-8 or UTF-16 (little or big endian), as Notepad saves them; without one it
// must be UTF-8. Throws NotUtf8Text naming `where` otherwise, and RefusedText for
// a NUL character (a UTF-16 file without a byte order mark is full of them): the
// card would keep the whole length, but every reader of the notice stops there.
std::string AsUtf8(std::string bytes, const std::string& where);

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
