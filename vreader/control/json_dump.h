#pragma once
// Proxmark3 JSON dumps ("FileType": "mfc v2" for MIFARE Classic, "mfu" for the 7-byte
// tag).

#include <string>

#include "control/virtual_field.h"

namespace vreader {

// Throws ControlError: kBadFormat for malformed JSON or a dump it cannot read, kBadImage
// for a card of no known size.
Bytes ParseJsonDump(const std::string& content);
std::string FormatJsonDump(const Bytes& image);

}  // namespace vreader
