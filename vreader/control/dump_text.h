#pragma once
// What the text dump formats share: hex decoding with the place at fault named, the
// image size check, and the errors they throw.

#include <cstdint>
#include <string>

#include "control/virtual_field.h"

namespace vreader::dump_text {

// ControlError kBadFormat: text that cannot be read.
[[noreturn]] void BadFormat(const std::string& message);
// ControlError kBadImage: a card of no known size.
[[noreturn]] void BadImage(const std::string& message);

// Hex text of exactly `bytes` bytes, or of any whole number of bytes when `bytes` is 0;
// `where` names the line or field in the error.
Bytes DecodeHex(const std::string& text, std::size_t bytes, const std::string& where);

void CheckImageSize(const Bytes& image, const std::string& what);

std::string Trim(const std::string& line);

}  // namespace vreader::dump_text
