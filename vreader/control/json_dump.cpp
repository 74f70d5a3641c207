#include "control/json_dump.h"

#include <map>
#include <nlohmann/json.hpp>

#include "ascii/hex.h"
#include "control/dump_text.h"
#include "core/mifare.h"

namespace vreader {

using dump_text::BadFormat;

namespace {

// Block 0 of a Classic card: UID, BCC, SAK, ATQA.
constexpr std::size_t kSakOffset = 5;
constexpr std::size_t kAtqaOffset = 6;
constexpr std::size_t kAtqaSize = 2;
constexpr int kHighestBlockNumber = 255;

// nlohmann names the place at fault after an exception id the user has no use for.
std::string JsonErrorText(const nlohmann::json::exception& error) {
    std::string text = error.what();
    if (const auto idEnd = text.find("] "); idEnd != std::string::npos) {
        text.erase(0, idEnd + 2);
    }
    const std::string parseError = "parse error at ";
    if (text.starts_with(parseError)) {
        return "JSON " + text.substr(parseError.size());
    }
    return "JSON: " + text;
}

std::optional<int> BlockNumber(const std::string& key) {
    try {
        std::size_t used = 0;
        const int number = std::stoi(key, &used);
        if (used == key.size() && number >= 0 && number <= kHighestBlockNumber) {
            return number;
        }
    } catch (const std::exception&) {
    }
    return std::nullopt;
}

Bytes ImageOfBlocks(const nlohmann::json& blocks) {
    std::map<int, Bytes> byNumber;
    std::size_t unit = 0;
    for (auto entry = blocks.begin(); entry != blocks.end(); ++entry) {
        const std::string& key = entry.key();
        const auto number = BlockNumber(key);
        if (!number) {
            BadFormat("block key \"" + key + "\" is not a block number 0..255");
        }
        if (!entry.value().is_string()) {
            BadFormat("block " + key + " is not a hex string");
        }
        Bytes bytes = dump_text::DecodeHex(entry.value().get<std::string>(), 0, "block " + key);
        if (unit == 0) {
            unit = bytes.size();
        }
        if (bytes.size() != unit ||
            (unit != card_model::kBlockSize && unit != card_model::kPageSize)) {
            BadFormat("block " + key + " has " + std::to_string(bytes.size()) +
                      " bytes, expected " +
                      std::to_string(unit == card_model::kPageSize ? card_model::kPageSize
                                                                   : card_model::kBlockSize));
        }
        byNumber[*number] = std::move(bytes);
    }
    Bytes image;
    int expected = 0;
    for (const auto& [number, bytes] : byNumber) {
        if (number != expected) {
            BadFormat("block " + std::to_string(expected) + " is missing from the JSON file");
        }
        ++expected;
        image.insert(image.end(), bytes.begin(), bytes.end());
    }
    return image;
}

}  // namespace

Bytes ParseJsonDump(const std::string& content) {
    nlohmann::json document;
    try {
        document = nlohmann::json::parse(content);
    } catch (const nlohmann::json::exception& error) {
        BadFormat(JsonErrorText(error));
    }
    if (!document.is_object()) {
        BadFormat("the JSON document is not an object");
    }
    if (const auto type = document.find("FileType"); type != document.end()) {
        if (!type->is_string() || !(type->get<std::string>().starts_with("mfc") ||
                                    type->get<std::string>().starts_with("mfu"))) {
            BadFormat("\"FileType\" is not a MIFARE dump (\"mfc v2\" expected)");
        }
    }
    const auto blocks = document.find("blocks");
    if (blocks == document.end()) {
        BadFormat("no \"blocks\" object in the JSON file");
    }
    if (!blocks->is_object()) {
        BadFormat("\"blocks\" is not an object");
    }
    const Bytes image = ImageOfBlocks(*blocks);
    dump_text::CheckImageSize(image, "the JSON file");
    return image;
}

std::string FormatJsonDump(const Bytes& image) {
    // Ordered, as Proxmark3 writes its files, so that dumps compare line by line.
    using OrderedJson = nlohmann::ordered_json;
    const bool sevenByteTag = image.size() == card_model::kSevenByteSize;
    const Bytes uid = card_model::UidOf(image);
    OrderedJson card = {{"UID", ascii::HexText(uid.data(), uid.size())}};
    if (!sevenByteTag) {
        card["ATQA"] = ascii::HexText(image.data() + kAtqaOffset, kAtqaSize);
        card["SAK"] = ascii::HexText(image.data() + kSakOffset, 1);
    }
    OrderedJson blocks = OrderedJson::object();
    const std::size_t unit = sevenByteTag ? card_model::kPageSize : card_model::kBlockSize;
    for (std::size_t i = 0; i < image.size() / unit; ++i) {
        blocks[std::to_string(i)] = ascii::HexText(image.data() + i * unit, unit);
    }
    OrderedJson document = {{"Created", "tagquill-vreader"},
                            {"FileType", sevenByteTag ? "mfu" : "mfc v2"},
                            {"Card", card},
                            {"blocks", blocks}};
    if (!sevenByteTag) {
        OrderedJson sectorKeys = OrderedJson::object();
        for (int sector = 0; sector < card_model::SectorCount(image.size()); ++sector) {
            const std::uint8_t* trailer =
                image.data() + card_model::TrailerOfSector(sector) * card_model::kBlockSize;
            sectorKeys[std::to_string(sector)] = {
                {"KeyA", ascii::HexText(trailer + card_model::kKeyAOffset, card_model::kKeySize)},
                {"KeyB", ascii::HexText(trailer + card_model::kKeyBOffset, card_model::kKeySize)},
                {"AccessConditions", ascii::HexText(trailer + card_model::kAccessBytesOffset,
                                                    card_model::kAccessBytesSize)}};
        }
        document["SectorKeys"] = sectorKeys;
    }
    constexpr int kIndent = 2;
    return document.dump(kIndent) + "\n";
}

}  // namespace vreader
