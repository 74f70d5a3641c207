#include "cli/card_display.h"

#include <iostream>
#include <span>

#include "ascii/hex.h"
#include "core/mifare.h"

namespace vreader::cli {

namespace mifare = vreader::mifare;

namespace {

constexpr std::size_t kPageCount = mifare::kSevenByteSize / mifare::kPageSize;
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
        const std::uint8_t* bytes = image.data() + page * mifare::kPageSize;
        std::cout << "  page " << (page < 10 ? " " : "") << page << "  "
                  << ascii::HexText(bytes, mifare::kPageSize) << "  |"
                  << PrintableText(bytes, mifare::kPageSize) << "|" << PageNote(page) << "\n";
    }
}

void ShowSector(const Bytes& image, int sector) {
    const int first = mifare::FirstBlockOfSector(sector);
    const int trailerBlock = mifare::TrailerOfSector(sector);
    const std::uint8_t* trailer = image.data() + trailerBlock * mifare::kBlockSize;
    std::cout << "Sector " << sector << " (blocks " << first << "-" << trailerBlock << ")  key A "
              << ascii::HexText(trailer + mifare::kKeyAOffset, mifare::kKeySize) << "  key B "
              << ascii::HexText(trailer + mifare::kKeyBOffset, mifare::kKeySize) << "  access "
              << ascii::HexText(trailer + mifare::kAccessBytesOffset, mifare::kAccessBytesSize)
              << "\n";
    const auto access = mifare::DecodeAccess(
        std::span(trailer + mifare::kAccessBytesOffset, mifare::kAccessBitsSize));
    if (!access) {
        std::cout << "  access bits INVALID (inverted copies disagree): the sector is locked\n";
    } else {
        std::cout << "  trailer: " << mifare::DescribeTrailerCondition((*access)[kTrailerGroup])
                  << "\n";
    }
    for (int block = first; block <= trailerBlock; ++block) {
        const std::uint8_t* data = image.data() + block * mifare::kBlockSize;
        std::cout << "  "
                  << (block < 10    ? "  "
                      : block < 100 ? " "
                                    : "")
                  << block << "  " << ascii::HexText(data, mifare::kBlockSize) << "  |"
                  << PrintableText(data, mifare::kBlockSize) << "|";
        const bool groupStarts =
            block == first || mifare::GroupOfBlock(block) != mifare::GroupOfBlock(block - 1);
        if (block == 0) {
            std::cout << "  manufacturer block";
        } else if (block != trailerBlock && access && groupStarts) {
            std::cout << "  "
                      << mifare::DescribeDataCondition((*access)[mifare::GroupOfBlock(block)]);
        }
        std::cout << "\n";
    }
}

}  // namespace

std::string KindName(std::size_t imageSize) {
    switch (imageSize) {
        case mifare::k1KSize:
            return "MIFARE Classic 1K";
        case mifare::k4KSize:
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
              << ascii::HexText(mifare::UidOf(image)) << "\n";
    if (image.size() == mifare::kSevenByteSize) {
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
    for (int sector = 0; sector < mifare::SectorCount(image.size()); ++sector) {
        ShowSector(image, sector);
    }
}

}  // namespace vreader::cli
