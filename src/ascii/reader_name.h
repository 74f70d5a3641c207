#pragma once
// The names the reader connection opens: "COMn" for a serial reader, "USBn" for a
// USB one, exactly four characters, the prefix in any letter case, n from 1 to 8.
// The connection, the reader list and the virtual reader all read them by this rule.

#include <optional>
#include <string>
#include <string_view>

namespace ascii {

enum class ReaderKind { Serial, Usb };

inline constexpr int kMaxReaderNumber = 8;

struct ReaderName {
    ReaderKind kind = ReaderKind::Serial;
    int number = 1;  // COM1 is 1
};

std::optional<ReaderName> ParseReaderName(std::string_view name);
std::optional<ReaderName> ParseReaderName(std::u16string_view name);

// As the program spells it: "COM3", "USB1".
std::string ReaderNameText(ReaderName name);

// "com3" -> "COM3"; nullopt for anything the rule refuses.
std::optional<std::string> CanonicalReaderName(std::string_view name);

}  // namespace ascii
