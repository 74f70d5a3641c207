#include "control/card_formats.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>
#include <memory>
#include <sstream>
#include <variant>

#include "core/mifare.h"
#include "core/state.h"

namespace vreader {

namespace fs = std::filesystem;

namespace {

[[noreturn]] void Bad(const std::string& message) { throw ControlError(ErrorKind::kBadFormat, message); }
[[noreturn]] void BadSize(const std::string& message) {
    throw ControlError(ErrorKind::kBadImage, message);
}

std::string Lower(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return text;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Decodes hex text of exactly `bytes` bytes, or any even length when bytes is 0.
Bytes DecodeHex(const std::string& text, std::size_t bytes, const std::string& where) {
    if (bytes != 0 && text.size() != bytes * 2) {
        Bad(where + ": expected " + std::to_string(bytes * 2) + " hex digits, found " +
            std::to_string(text.size()));
    }
    if (text.size() % 2 != 0) {
        Bad(where + ": odd number of hex digits");
    }
    Bytes out;
    for (std::size_t i = 0; i < text.size(); i += 2) {
        const int hi = HexDigit(text[i]);
        const int lo = HexDigit(text[i + 1]);
        if (hi < 0 || lo < 0) {
            const char bad = hi < 0 ? text[i] : text[i + 1];
            Bad(where + ": '" + std::string(1, bad) + "' is not a hex digit" +
                (bad == '-' ? " (an unknown byte; fill in the missing keys or data first)" : ""));
        }
        out.push_back(static_cast<std::uint8_t>(hi << 4 | lo));
    }
    return out;
}

std::string LowerHex(const std::uint8_t* data, std::size_t size) {
    return Lower(state::Hex(data, size));
}

void CheckImageSize(const Bytes& image, const std::string& what) {
    if (!KindOfImageSize(image.size())) {
        BadSize(what + " holds " + std::to_string(image.size()) +
            " bytes; a card image has 1024 (1K), 4096 (4K) or 64 (7-byte UID tag)");
    }
}

std::string Trim(const std::string& line) {
    const auto first = line.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) {
        return {};
    }
    const auto last = line.find_last_not_of(" \t\r\n");
    return line.substr(first, last - first + 1);
}

// ---- A small JSON reader: enough for Proxmark3 dump files. ----

struct Json;
using JsonObject = std::map<std::string, Json>;
struct Json {
    std::variant<std::nullptr_t, bool, double, std::string, std::vector<Json>, JsonObject> value;
};

class JsonParser {
public:
    explicit JsonParser(const std::string& text) : text_(text) {}

    Json Document() {
        Json value = Value(0);
        Space();
        if (pos_ != text_.size()) {
            Fail("text after the end of the JSON document");
        }
        return value;
    }

private:
    [[noreturn]] void Fail(const std::string& why) {
        const auto line = 1 + std::count(text_.begin(), text_.begin() + static_cast<long>(pos_), '\n');
        Bad("JSON line " + std::to_string(line) + ": " + why);
    }

    void Space() {
        while (pos_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[pos_]))) {
            ++pos_;
        }
    }

    bool Take(char c) {
        Space();
        if (pos_ < text_.size() && text_[pos_] == c) {
            ++pos_;
            return true;
        }
        return false;
    }

    void Expect(char c) {
        if (!Take(c)) {
            Fail(std::string("expected '") + c + "'");
        }
    }

    Json Value(int depth) {
        if (depth > 64) {
            Fail("nested too deeply");
        }
        Space();
        if (pos_ >= text_.size()) {
            Fail("unexpected end");
        }
        const char c = text_[pos_];
        if (c == '{') {
            ++pos_;
            JsonObject object;
            if (Take('}')) {
                return Json{object};
            }
            do {
                Space();
                std::string key = String();
                Expect(':');
                object[key] = Value(depth + 1);
            } while (Take(','));
            Expect('}');
            return Json{std::move(object)};
        }
        if (c == '[') {
            ++pos_;
            std::vector<Json> array;
            if (Take(']')) {
                return Json{array};
            }
            do {
                array.push_back(Value(depth + 1));
            } while (Take(','));
            Expect(']');
            return Json{std::move(array)};
        }
        if (c == '"') {
            return Json{String()};
        }
        for (const char* word : {"true", "false", "null"}) {
            if (text_.compare(pos_, std::char_traits<char>::length(word), word) == 0) {
                pos_ += std::char_traits<char>::length(word);
                if (word[0] == 'n') {
                    return Json{nullptr};
                }
                return Json{word[0] == 't'};
            }
        }
        const std::size_t start = pos_;
        while (pos_ < text_.size() && (std::isdigit(static_cast<unsigned char>(text_[pos_])) ||
                                       std::strchr("+-.eE", text_[pos_]) != nullptr)) {
            ++pos_;
        }
        if (start == pos_) {
            Fail(std::string("unexpected '") + c + "'");
        }
        try {
            return Json{std::stod(text_.substr(start, pos_ - start))};
        } catch (const std::exception&) {
            Fail("bad number");
        }
    }

    std::string String() {
        if (pos_ >= text_.size() || text_[pos_] != '"') {
            Fail("expected a string");
        }
        ++pos_;
        std::string out;
        while (pos_ < text_.size() && text_[pos_] != '"') {
            char c = text_[pos_++];
            if (c == '\\') {
                if (pos_ >= text_.size()) {
                    break;
                }
                c = text_[pos_++];
                switch (c) {
                    case 'n': c = '\n'; break;
                    case 't': c = '\t'; break;
                    case 'r': c = '\r'; break;
                    case 'b': c = '\b'; break;
                    case 'f': c = '\f'; break;
                    case 'u': {
                        // Dumps carry ASCII only; keep the escape's low byte.
                        if (pos_ + 4 > text_.size()) {
                            Fail("bad \\u escape");
                        }
                        c = static_cast<char>(std::stoi(text_.substr(pos_ + 2, 2), nullptr, 16));
                        pos_ += 4;
                        break;
                    }
                    default: break;  // \" \\ \/
                }
            }
            out += c;
        }
        if (pos_ >= text_.size()) {
            Fail("unterminated string");
        }
        ++pos_;
        return out;
    }

    const std::string& text_;
    std::size_t pos_ = 0;
};

std::string JsonQuote(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
        }
        out += c;
    }
    return out + "\"";
}

// ---- Formats ----

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
        if (bytes.size() != mifare::kBlockSize && bytes.size() != mifare::kPageSize) {
            Bad("line " + std::to_string(number) + ": a block has 16 bytes (a page 4), found " +
                std::to_string(bytes.size()));
        }
        image.insert(image.end(), bytes.begin(), bytes.end());
    }
    CheckImageSize(image, "the .eml file");
    return image;
}

std::string FormatEml(const Bytes& image) {
    const std::size_t line = image.size() == mifare::kSevenByteSize ? mifare::kPageSize : mifare::kBlockSize;
    std::string out;
    for (std::size_t at = 0; at < image.size(); at += line) {
        out += LowerHex(image.data() + at, line) + "\n";
    }
    return out;
}

Bytes ParseJson(const std::string& content) {
    const Json document = JsonParser(content).Document();
    const auto* root = std::get_if<JsonObject>(&document.value);
    if (root == nullptr) {
        Bad("the JSON document is not an object");
    }
    if (auto type = root->find("FileType"); type != root->end()) {
        const auto* name = std::get_if<std::string>(&type->second.value);
        if (name == nullptr || !(name->starts_with("mfc") || name->starts_with("mfu"))) {
            Bad("\"FileType\" is not a MIFARE dump (\"mfc v2\" expected)");
        }
    }
    auto blocksEntry = root->find("blocks");
    if (blocksEntry == root->end()) {
        Bad("no \"blocks\" object in the JSON file");
    }
    const auto* blocks = std::get_if<JsonObject>(&blocksEntry->second.value);
    if (blocks == nullptr) {
        Bad("\"blocks\" is not an object");
    }
    std::map<int, Bytes> byNumber;
    std::size_t unit = 0;
    for (const auto& [key, value] : *blocks) {
        int number = -1;
        try {
            std::size_t used = 0;
            number = std::stoi(key, &used);
            if (used != key.size()) {
                number = -1;
            }
        } catch (const std::exception&) {
        }
        if (number < 0 || number > 255) {
            Bad("block key \"" + key + "\" is not a block number 0..255");
        }
        const auto* hex = std::get_if<std::string>(&value.value);
        if (hex == nullptr) {
            Bad("block " + key + " is not a hex string");
        }
        Bytes bytes = DecodeHex(*hex, 0, "block " + key);
        if (unit == 0) {
            unit = bytes.size();
        }
        if (bytes.size() != unit || (unit != mifare::kBlockSize && unit != mifare::kPageSize)) {
            Bad("block " + key + " has " + std::to_string(bytes.size()) + " bytes, expected " +
                std::to_string(unit == mifare::kPageSize ? mifare::kPageSize : mifare::kBlockSize));
        }
        byNumber[number] = std::move(bytes);
    }
    Bytes image;
    int expected = 0;
    for (const auto& [number, bytes] : byNumber) {
        if (number != expected) {
            Bad("block " + std::to_string(expected) + " is missing from the JSON file");
        }
        ++expected;
        image.insert(image.end(), bytes.begin(), bytes.end());
    }
    CheckImageSize(image, "the JSON file");
    return image;
}

std::string FormatJson(const Bytes& image) {
    const bool tag7 = image.size() == mifare::kSevenByteSize;
    const Bytes uid = mifare::UidOf(image);
    std::ostringstream out;
    out << "{\n  \"Created\": \"tagquill-vreader\",\n";
    out << "  \"FileType\": " << JsonQuote(tag7 ? "mfu" : "mfc v2") << ",\n";
    out << "  \"Card\": {\n    \"UID\": \"" << state::Hex(uid.data(), uid.size()) << "\"";
    if (!tag7) {
        out << ",\n    \"ATQA\": \"" << state::Hex(image.data() + 6, 2) << "\",\n    \"SAK\": \""
            << state::Hex(image.data() + 5, 1) << "\"";
    }
    out << "\n  },\n  \"blocks\": {\n";
    const std::size_t unit = tag7 ? mifare::kPageSize : mifare::kBlockSize;
    const std::size_t count = image.size() / unit;
    for (std::size_t i = 0; i < count; ++i) {
        out << "    \"" << i << "\": \"" << state::Hex(image.data() + i * unit, unit) << "\""
            << (i + 1 < count ? ",\n" : "\n");
    }
    out << "  }";
    if (!tag7) {
        out << ",\n  \"SectorKeys\": {\n";
        const int sectors = mifare::SectorCount(image.size());
        for (int s = 0; s < sectors; ++s) {
            const std::uint8_t* t = image.data() + mifare::TrailerOfSector(s) * mifare::kBlockSize;
            out << "    \"" << s << "\": {\n      \"KeyA\": \"" << state::Hex(t, 6)
                << "\",\n      \"KeyB\": \"" << state::Hex(t + 10, 6)
                << "\",\n      \"AccessConditions\": \"" << state::Hex(t + 6, 4) << "\"\n    }"
                << (s + 1 < sectors ? ",\n" : "\n");
        }
        out << "  }";
    }
    out << "\n}\n";
    return out.str();
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
        if (sector >= 0 && blockInSector != mifare::BlocksInSector(sector)) {
            Bad("sector " + std::to_string(sector) + " has " + std::to_string(blockInSector) +
                " blocks, expected " + std::to_string(mifare::BlocksInSector(sector)));
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
                Bad(where + ": bad sector number '" + text + "'");
            }
            if (sector != expectedSector) {
                Bad(where + ": sector " + std::to_string(expectedSector) +
                    " expected (an image needs every sector, in order)");
            }
            ++expectedSector;
            blockInSector = 0;
            continue;
        }
        if (sector < 0) {
            Bad(where + ": block data before the first \"+Sector:\" header");
        }
        if (blockInSector >= mifare::BlocksInSector(sector)) {
            Bad(where + ": sector " + std::to_string(sector) + " has too many blocks");
        }
        const Bytes bytes = DecodeHex(line, mifare::kBlockSize, where);
        image.insert(image.end(), bytes.begin(), bytes.end());
        ++blockInSector;
    }
    closeSector();
    if (image.size() != mifare::k1KSize && image.size() != mifare::k4KSize) {
        BadSize("the .mct file holds " + std::to_string(expectedSector) +
            " sectors; a 1K card has 16, a 4K card 40");
    }
    return image;
}

std::string FormatMct(const Bytes& image) {
    if (image.size() != mifare::k1KSize && image.size() != mifare::k4KSize) {
        BadSize("MCT files hold MIFARE Classic cards only, not a 7-byte UID tag");
    }
    std::string out;
    for (int s = 0; s < mifare::SectorCount(image.size()); ++s) {
        out += "+Sector: " + std::to_string(s) + "\n";
        for (int b = 0; b < mifare::BlocksInSector(s); ++b) {
            out += state::Hex(image.data() + (mifare::FirstBlockOfSector(s) + b) * mifare::kBlockSize,
                              mifare::kBlockSize) +
                   "\n";
        }
    }
    return out;
}

}  // namespace

std::optional<DumpFormat> DumpFormatOfPath(const fs::path& path) {
    const std::string ext = Lower(path.extension().string());
    if (ext == ".mfd" || ext == ".bin" || ext == ".dump" || ext == ".raw") return DumpFormat::kRaw;
    if (ext == ".eml") return DumpFormat::kEml;
    if (ext == ".json") return DumpFormat::kJson;
    if (ext == ".mct") return DumpFormat::kMct;
    return std::nullopt;
}

std::optional<DumpFormat> DumpFormatFromName(const std::string& name) {
    const std::string lower = Lower(name);
    if (lower == "raw" || lower == "mfd" || lower == "bin") return DumpFormat::kRaw;
    if (lower == "eml") return DumpFormat::kEml;
    if (lower == "json") return DumpFormat::kJson;
    if (lower == "mct") return DumpFormat::kMct;
    return std::nullopt;
}

Bytes ParseDump(const std::string& content, DumpFormat format) {
    switch (format) {
        case DumpFormat::kRaw: {
            Bytes image(content.begin(), content.end());
            CheckImageSize(image, "the raw file");
            return image;
        }
        case DumpFormat::kEml: return ParseEml(content);
        case DumpFormat::kJson: return ParseJson(content);
        case DumpFormat::kMct: return ParseMct(content);
    }
    Bad("unknown format");
}

std::string FormatDump(const Bytes& image, DumpFormat format) {
    CheckImageSize(image, "the image");
    switch (format) {
        case DumpFormat::kRaw: return std::string(image.begin(), image.end());
        case DumpFormat::kEml: return FormatEml(image);
        case DumpFormat::kJson: return FormatJson(image);
        case DumpFormat::kMct: return FormatMct(image);
    }
    Bad("unknown format");
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
                               " (use .mfd/.bin/.dump, .eml, .json or .mct)");
    }
    return *byName;
}
}  // namespace

Bytes LoadDump(const fs::path& path, std::optional<DumpFormat> format) {
    const DumpFormat chosen = FormatFor(path, format);
    auto data = state::ReadFileBytes(path);
    if (!data) {
        throw ControlError(ErrorKind::kNotFound, "cannot read " + path.string());
    }
    try {
        return ParseDump(std::string(data->begin(), data->end()), chosen);
    } catch (const ControlError& error) {
        throw ControlError(error.Kind(), path.string() + ": " + error.what());
    }
}

void SaveDump(const fs::path& path, const Bytes& image, std::optional<DumpFormat> format) {
    const std::string text = FormatDump(image, FormatFor(path, format));
    if (!state::WriteTextAtomic(path, text)) {
        throw ControlError(ErrorKind::kIo, "cannot write " + path.string());
    }
}

}  // namespace vreader
