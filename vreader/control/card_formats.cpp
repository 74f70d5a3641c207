#include "control/card_formats.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <sstream>

#include "ascii/case_fold.h"
#include "ascii/hex.h"
#include "control/dump_text.h"
#include "control/json_dump.h"
#include "core/mifare.h"
#include "core/state.h"

namespace vreader {

namespace fs = std::filesystem;

namespace {

using dump_text::BadFormat;
using dump_text::BadImage;
using dump_text::CheckImageSize;
using dump_text::DecodeHex;
using dump_text::Trim;

std::string LowerHex(const std::uint8_t* data, std::size_t size) {
    return ascii::Lower(ascii::HexText(data, size));
}

Bytes ParseEml(const std::string& content) {
    Bytes image;
    std::istringstream in(content);
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        line = Trim(line);
        if (line.empty()) {
            continue;
        }
        const Bytes bytes = DecodeHex(line, 0, "line " + std::to_string(number));
        if (bytes.size() != card_model::kBlockSize && bytes.size() != card_model::kPageSize) {
            BadFormat("line " + std::to_string(number) +
                      ": a block has 16 bytes (a page 4), found " + std::to_string(bytes.size()));
        }
        image.insert(image.end(), bytes.begin(), bytes.end());
    }
    CheckImageSize(image, "the .eml file");
    return image;
}

std::string FormatEml(const Bytes& image) {
    const std::size_t line =
        image.size() == card_model::kSevenByteSize ? card_model::kPageSize : card_model::kBlockSize;
    std::string out;
    for (std::size_t at = 0; at < image.size(); at += line) {
        out += LowerHex(image.data() + at, line) + "\n";
    }
    return out;
}

Bytes ParseMct(const std::string& content) {
    std::istringstream in(content);
    std::string line;
    int number = 0;
    int sector = -1;
    int expectedSector = 0;
    int blockInSector = 0;
    Bytes image;
    auto closeSector = [&] {
        if (sector >= 0 && blockInSector != card_model::BlocksInSector(sector)) {
            BadFormat("sector " + std::to_string(sector) + " has " + std::to_string(blockInSector) +
                      " blocks, expected " + std::to_string(card_model::BlocksInSector(sector)));
        }
    };
    while (std::getline(in, line)) {
        ++number;
        line = Trim(line);
        if (line.empty()) {
            continue;
        }
        const std::string where = "line " + std::to_string(number);
        if (line.starts_with("+Sector:")) {
            closeSector();
            const std::string text = Trim(line.substr(8));
            try {
                sector = std::stoi(text);
            } catch (const std::exception&) {
                BadFormat(where + ": bad sector number '" + text + "'");
            }
            if (sector != expectedSector) {
                BadFormat(where + ": sector " + std::to_string(expectedSector) +
                          " expected (an image needs every sector, in order)");
            }
            ++expectedSector;
            blockInSector = 0;
            continue;
        }
        if (sector < 0) {
            BadFormat(where + ": block data before the first \"+Sector:\" header");
        }
        if (blockInSector >= card_model::BlocksInSector(sector)) {
            BadFormat(where + ": sector " + std::to_string(sector) + " has too many blocks");
        }
        const Bytes bytes = DecodeHex(line, card_model::kBlockSize, where);
        image.insert(image.end(), bytes.begin(), bytes.end());
        ++blockInSector;
    }
    closeSector();
    if (image.size() != card_model::k1KSize && image.size() != card_model::k4KSize) {
        BadImage("the .mct file holds " + std::to_string(expectedSector) +
                 " sectors; a 1K card has 16, a 4K card 40");
    }
    return image;
}

std::string FormatMct(const Bytes& image) {
    if (image.size() != card_model::k1KSize && image.size() != card_model::k4KSize) {
        BadImage("MCT files hold MIFARE Classic cards only, not a 7-byte UID tag");
    }
    std::string out;
    for (int s = 0; s < card_model::SectorCount(image.size()); ++s) {
        out += "+Sector: " + std::to_string(s) + "\n";
        for (int b = 0; b < card_model::BlocksInSector(s); ++b) {
            out += ascii::HexText(image.data() + (card_model::FirstBlockOfSector(s) + b) *
                                                     card_model::kBlockSize,
                                  card_model::kBlockSize) +
                   "\n";
        }
    }
    return out;
}

}  // namespace

std::optional<DumpFormat> DumpFormatOfPath(const fs::path& path) {
    const std::string ext = ascii::Lower(path.extension().string());
    if (ext == ".mfd" || ext == ".bin" || ext == ".dump" || ext == ".raw")
        return DumpFormat::kRaw;
    if (ext == ".eml")
        return DumpFormat::kEml;
    if (ext == ".json")
        return DumpFormat::kJson;
    if (ext == ".mct")
        return DumpFormat::kMct;
    return std::nullopt;
}

std::optional<DumpFormat> DumpFormatOfContent(const std::string& content) {
    // An image of a card's size with bytes no text has is raw, whatever it starts with.
    const bool binary = std::any_of(content.begin(), content.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte < 0x09 || (byte > 0x0D && byte < 0x20);
    });
    if (binary) {
        return KindOfImageSize(content.size()) ? std::optional(DumpFormat::kRaw) : std::nullopt;
    }
    std::istringstream in(content);
    std::string line;
    bool allHexBlocks = true;
    bool any = false;
    while (std::getline(in, line)) {
        line = Trim(line);
        if (line.empty()) {
            continue;
        }
        if (!any && line.starts_with("+Sector:")) {
            return DumpFormat::kMct;
        }
        if (!any && line.starts_with("{")) {
            return DumpFormat::kJson;
        }
        any = true;
        const bool hex = std::all_of(line.begin(), line.end(), ascii::IsHexDigit);
        allHexBlocks =
            allHexBlocks && hex &&
            (line.size() == 2 * card_model::kBlockSize || line.size() == 2 * card_model::kPageSize);
    }
    if (any && allHexBlocks) {
        return DumpFormat::kEml;
    }
    if (KindOfImageSize(content.size())) {
        return DumpFormat::kRaw;
    }
    return std::nullopt;
}

std::optional<DumpFormat> DumpFormatFromName(const std::string& name) {
    const std::string lower = ascii::Lower(name);
    if (lower == "raw" || lower == "mfd" || lower == "bin")
        return DumpFormat::kRaw;
    if (lower == "eml")
        return DumpFormat::kEml;
    if (lower == "json")
        return DumpFormat::kJson;
    if (lower == "mct")
        return DumpFormat::kMct;
    return std::nullopt;
}

Bytes ParseDump(const std::string& content, DumpFormat format) {
    switch (format) {
        case DumpFormat::kRaw: {
            Bytes image(content.begin(), content.end());
            CheckImageSize(image, "the raw file");
            return image;
        }
        case DumpFormat::kEml:
            return ParseEml(content);
        case DumpFormat::kJson:
            return ParseJsonDump(content);
        case DumpFormat::kMct:
            return ParseMct(content);
    }
    BadFormat("unknown format");
}

std::string FormatDump(const Bytes& image, DumpFormat format) {
    CheckImageSize(image, "the image");
    switch (format) {
        case DumpFormat::kRaw:
            return std::string(image.begin(), image.end());
        case DumpFormat::kEml:
            return FormatEml(image);
        case DumpFormat::kJson:
            return FormatJsonDump(image);
        case DumpFormat::kMct:
            return FormatMct(image);
    }
    BadFormat("unknown format");
}

namespace {
DumpFormat FormatFor(const fs::path& path, std::optional<DumpFormat> format) {
    if (format) {
        return *format;
    }
    auto byName = DumpFormatOfPath(path);
    if (!byName) {
        throw ControlError(ErrorKind::kBadArgument,
                           "cannot tell the format of " + path.string() +
                               " (use .mfd/.bin/.dump, .eml, .json or .mct, or --from)");
    }
    return *byName;
}
}  // namespace

namespace {
// At most one byte past the limit, so a huge file or a device that never ends is
// told apart from a dump without being read through.
std::string ReadDumpFile(const fs::path& path) {
    std::error_code error;
    if (fs::is_directory(path, error)) {
        throw FolderIsNoCard(path.string());
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw ControlError(ErrorKind::kNotFound, "cannot read " + path.string());
    }
    std::string content(kMaxDumpFileSize + 1, '\0');
    in.read(content.data(), static_cast<std::streamsize>(content.size()));
    if (in.bad()) {
        throw ControlError(ErrorKind::kNotFound, "cannot read " + path.string());
    }
    content.resize(static_cast<std::size_t>(in.gcount()));
    if (content.size() > kMaxDumpFileSize) {
        throw ControlError(ErrorKind::kBadImage, path.string() +
                                                     " is too large for a card dump (over " +
                                                     std::to_string(kMaxDumpFileSize) + " bytes)");
    }
    return content;
}
}  // namespace

Bytes LoadDump(const fs::path& path, std::optional<DumpFormat> format) {
    if (!format) {
        format = DumpFormatOfPath(path);
    }
    const std::string content = ReadDumpFile(path);
    if (!format) {
        format = DumpFormatOfContent(content);
    }
    const DumpFormat chosen = FormatFor(path, format);
    try {
        return ParseDump(content, chosen);
    } catch (const ControlError& error) {
        throw ControlError(error.Kind(), path.string() + ": " + error.what());
    }
}

void SaveDump(const fs::path& path, const Bytes& image, std::optional<DumpFormat> format) {
    std::error_code error;
    if (fs::is_directory(path, error)) {
        throw ControlError(ErrorKind::kBadArgument,
                           path.string() + " is a folder; name a file to write the image to");
    }
    const std::string text = FormatDump(image, FormatFor(path, format));
    if (!state::WriteTextAtomic(path, text)) {
        throw ControlError(ErrorKind::kIo, "cannot write " + path.string());
    }
}

}  // namespace vreader
