#pragma once
// Every rule of the notice as text: what it costs on the card, how it becomes the
// bytes the card stores and back, its line breaks, and how much of it a card
// holds. The editors, the usage label, the command-line tool and the card
// sequences all ask here, so that they never disagree about a notice's size.
//
// The card stores a 2-byte length, low byte first, then that many bytes of text in
// the system ANSI code page, each line break as CR LF.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "errors/coded_exception.h"

namespace notice_text {

inline constexpr std::uint32_t kLengthFieldSize = 2;

// The largest notice a card of this type holds: 750 bytes on a 1K card, 3438 on a
// 4K card, 0 for any other type.
std::uint16_t Capacity(std::uint16_t cardType);

// The bytes the card would store for `text` (line breaks already CR LF). Never
// throws: text the code page cannot hold, or a code page the system cannot open,
// counts one per UTF-16 unit, and Save refuses it with the reason.
std::size_t StoredSize(std::u16string_view text) noexcept;

// The text as the card stores it. Refuses text the code page cannot hold (it would
// be stored with '?' in its place) and a code page the system cannot convert to.
std::string ToStored(std::u16string_view text);
// Decoded as ToStored encodes, so an unedited notice goes back byte for byte.
std::u16string FromStored(std::string_view bytes);

// A lone LF (Unix text, an editor's paragraph end) as the CR LF the card keeps.
std::u16string WithCrLf(std::u16string_view text);
// CR LF back to LF, for text leaving the program; a lone CR stays.
std::u16string WithoutCrLf(std::u16string_view text);

// The stored notice too long for the card. Its text stays "Invalid parameter", as
// the window has always shown it; callers tell it apart by its type.
class CNoticeTooLong : public CCodedException {
public:
    CNoticeTooLong();
};

// Refuses with CNoticeTooLong stored bytes beyond `capacity`.
void CheckFits(std::string_view stored, std::uint16_t capacity);

// The length field followed by the stored bytes, as written at the start of the
// data area. Expects bytes that fit the length field.
std::vector<std::uint8_t> Record(std::string_view stored);

inline std::uint16_t LengthField(const std::uint8_t* field) {
    return static_cast<std::uint16_t>(field[0] | field[1] << 8);
}

}  // namespace notice_text
