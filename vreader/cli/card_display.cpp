#include "cli/card_display.h"

#include <iostream>
#include <span>

#include "ascii/hex.h"
#include "core/mifare.h"

namespace vreader::cli {

namespace card_model = vreader::card_model;

namespace {

constexpr std::size_t kPageCount = card_model::kSevenByteSize / card_model::kPageSize;
constexpr std::size_t kLockBytesPage = 2;
constexpr std::size_t kOtpPage = 3;
constexpr std::size_t kBccOffset = 4;  // after the 4-byte UID in block 0
constexpr int kTrailerGroup = 3;

// Printable ASCII as is, anything else as a dot.
std::string PrintableText(const std::uint8_t* data, std::size_t size) {
    std::string text;
    for (std::size_t i = 0; i < size; ++i) {
        text += data[i] >= 0x20 && data[i] < 0x7F ? static_cast<char>(data[i]) : '.';
    }
    return text;
}

const char* PageNote(std::size_t page) {
    if (page < kLockBytesPage) {
        return "  UID";
    }
    if (page == kLockBytesPage) {
        return "  lock bytes";
    }
    return page == kOtpPage ? "  OTP" : "";
}

void ShowPages(const Bytes& image) {
    for (std::size_t page = 0; page < kPageCount; ++page) {
        const std::uint8_t* bytes = image.data() + page * card_model::kPageSize;
        std::cout << "  page " << (page < 10 ? " " : "") << page << "  "
                  << ascii::HexText(bytes, card_model::kPageSize) << "  |"
                  << PrintableText(bytes, card_model::kPageSize) << "|" << PageNote(page) << "\n";
    }
}

void ShowSector(const Bytes& image, int sector) {
    const int first = card_model::FirstBlockOfSector(sector);
    const int trailerBlock = card_model::TrailerOfSector(sector);
    const std::uint8_t* trailer = image.data() + trailerBlock * card_model::kBlockSize;
    std::cout << "Sector " << sector << " (blocks " << first << "-" << trailerBlock << ")  key A "
              << ascii::HexText(trailer + card_model::kKeyAOffset, card_model::kKeySize)
              << "  key B "
              << ascii::HexText(trailer + card_model::kKeyBOffset, card_model::kKeySize)
              << "  access "
              << ascii::HexText(trailer + card_model::kAccessBytesOffset,
                                card_model::kAccessBytesSize)
              << "\n";
    const auto access = card_model::DecodeAccess(
        std::span(trailer + card_model::kAccessBytesOffset, card_model::kAccessBitsSize));
    if (!access) {
        std::cout << "  access bits INVALID (inverted copies disagree): the sector is locked\n";
    } else {
        std::cout << "  trailer: " << card_model::DescribeTrailerCondition((*access)[kTrailerGroup])
                  << "\n";
    }
    for (int block = first; block <= trailerBlock; ++block) {
        const std::uint8_t* data = image.data() + block * card_model::kBlockSize;
        std::cout << "  "
                  << (block < 10    ? "  "
                      : block < 100 ? " "
                                    : "")
                  << block << "  " << ascii::HexText(data, card_model::kBlockSize) << "  |"
                  << PrintableText(data, card_model::kBlockSize) << "|";
        const bool groupStarts = block == first || card_model::GroupOfBlock(block) !=
                                                       card_model::GroupOfBlock(block - 1);
        if (block == 0) {
            std::cout << "  manufacturer block";
        } else if (block != trailerBlock && access && groupStarts) {
            std::cout << "  "
                      << card_model::DescribeDataCondition(
                             (*access)[card_model::GroupOfBlock(block)]);
        }
        std::cout << "\n";
    }
}

}  // namespace

std::string KindName(std::size_t imageSize) {
    switch (imageSize) {
        case card_model::k1KSize:
            return "MIFARE Classic 1K";
        case card_model::k4KSize:
            return "MIFARE Classic 4K";
        default:
            return "7-byte UID tag";
    }
}

std::string DescribeCard(const CardInfo& card) {
    return card.name + "  " + KindName(ImageSize(card.kind)) + "  UID " + ascii::HexText(card.uid);
}

void ShowImage(const Bytes& image, const std::string& title) {
    std::cout << title << ": " << KindName(image.size()) << ", UID "
              << ascii::HexText(card_model::UidOf(image)) << "\n";
    if (image.size() == card_model::kSevenByteSize) {
        ShowPages(image);
        return;
    }
    std::uint8_t bcc = 0;
    for (std::size_t i = 0; i < kBccOffset; ++i) {
        bcc ^= image[i];
    }
    if (bcc != image[kBccOffset]) {
        std::cout << "  warning: the BCC in block 0 does not match the UID\n";
    }
    for (int sector = 0; sector < card_model::SectorCount(image.size()); ++sector) {
        ShowSector(image, sector);
    }
}

}  // namespace vreader::cli
