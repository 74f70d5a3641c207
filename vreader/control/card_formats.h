#pragma once
// Card image files of other MIFARE tools: raw dumps (.mfd, .bin, .dump), Proxmark3
// emulator files (.eml, one block per line in hex), Proxmark3 JSON ("FileType": "mfc v2")
// and MIFARE Classic Tool files (.mct, "+Sector: N" headers).

#include <filesystem>
#include <optional>
#include <string>

#include "control/virtual_field.h"

namespace vreader {

enum class DumpFormat { kRaw, kEml, kJson, kMct };

// By the file's extension; nullopt for an unknown one.
std::optional<DumpFormat> DumpFormatOfPath(const std::filesystem::path& path);
// By what the file holds (an MCT dump saved as .txt); nullopt when nothing fits.
std::optional<DumpFormat> DumpFormatOfContent(const std::string& content);

// No dump of any format comes near this; a larger file is refused unread.
inline constexpr std::size_t kMaxDumpFileSize = 1u << 20;
std::optional<DumpFormat> DumpFormatFromName(const std::string& name);  // raw, eml, json, mct

// Parses a dump into a raw image; throws ControlError naming the line or field at
// fault: kBadFormat for unreadable text, kBadImage for a card of no known size.
Bytes ParseDump(const std::string& content, DumpFormat format);
// Writes an image in a format; throws ControlError (kBadImage) when the format cannot
// hold the card (MCT holds MIFARE Classic only).
std::string FormatDump(const Bytes& image, DumpFormat format);

// Read and write files, the format by extension unless given; a file read without
// a format or a known extension is recognised by its content.
Bytes LoadDump(const std::filesystem::path& path, std::optional<DumpFormat> format = std::nullopt);
void SaveDump(const std::filesystem::path& path, const Bytes& image,
              std::optional<DumpFormat> format = std::nullopt);

}  // namespace vreader
