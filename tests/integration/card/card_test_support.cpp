#include "card_test_support.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "reader/reader_error.h"

namespace cardtest {

std::vector<int> DataBlocks(CardKind kind) {
    std::vector<int> blocks;
    for (int sector = 0; sector < SectorCount(kind); ++sector) {
        const int trailer = TrailerOfSector(sector);
        for (int block = trailer - (sector < 32 ? 3 : 15); block < trailer; ++block) {
            if (block != 0)
                blocks.push_back(block);
        }
    }
    return blocks;
}

Bytes DataArea(const Bytes& image, CardKind kind) {
    Bytes area;
    for (int block : DataBlocks(kind)) {
        area.insert(area.end(), image.begin() + block * 16, image.begin() + block * 16 + 16);
    }
    return area;
}

Bytes WithData(Bytes image, CardKind kind, std::size_t offset, const Bytes& bytes) {
    const std::vector<int> blocks = DataBlocks(kind);
    for (std::size_t i = 0, at = offset; i < bytes.size(); ++i, ++at) {
        image.at(static_cast<std::size_t>(blocks.at(at / 16)) * 16 + at % 16) = bytes[i];
    }
    return image;
}

Bytes WithBlock(Bytes image, int block, const Bytes& content) {
    std::copy(content.begin(), content.end(), image.begin() + block * 16);
    return image;
}

Bytes TransportTrailer(const std::array<std::uint8_t, 6>& keyA) {
    Bytes trailer(keyA.begin(), keyA.end());
    trailer.insert(trailer.end(), {0xFF, 0x07, 0x80, 0x00});
    trailer.insert(trailer.end(), kTransportKey.begin(), kTransportKey.end());
    return trailer;
}

Bytes PatternedCard(CardKind kind) {
    Bytes image = vreader::MakeBlankCard(kind, Bytes{0x11, 0x22, 0x33, 0x44});
    for (int block : DataBlocks(kind)) {
        for (int i = 0; i < 16; ++i) {
            image[static_cast<std::size_t>(block * 16 + i)] =
                static_cast<std::uint8_t>(block * 7 + i + 1);
        }
    }
    return image;
}

Bytes Record(const std::string& text) {
    // Sized once and filled in place: growing a two-byte vector by insert trips
    // a false -Warray-bounds in GCC 12 at -O2.
    Bytes record(text.size() + 2);
    record[0] = static_cast<std::uint8_t>(text.size() & 0xFF);
    record[1] = static_cast<std::uint8_t>(text.size() >> 8);
    std::copy(text.begin(), text.end(), record.begin() + 2);
    return record;
}

ReaderWithCard::MemoryTempFolder::MemoryTempFolder() {
#ifndef _WIN32
    std::error_code ec;
    if (std::getenv("TMPDIR") == nullptr && std::filesystem::is_directory("/dev/shm", ec)) {
        ::setenv("TMPDIR", "/dev/shm", 0);
    }
#endif
}

ReaderWithCard::ReaderWithCard(const Variant& variant, const Bytes& image) : variant_(variant) {
    field_.PlaceImage(variant_.reader, image, kCardFile);
    card_.SetReaderName(variant_.name.c_str());
    card_.Connect();
    field_.ClearCallLog(variant_.reader);
}

Bytes ReaderWithCard::Image() const {
    // A card taken away lies in the folder of cards outside every field.
    const auto field = field_.Field(variant_.reader);
    const bool inField = std::any_of(field.begin(), field.end(),
                                     [](const auto& card) { return card.name == kCardFile; });
    return field_.ReadCard(inField ? variant_.reader + "/" + kCardFile : kCardFile);
}

std::vector<vreader::CallRecord> ReaderWithCard::TakeCalls() {
    auto calls = field_.CallLog(variant_.reader);
    field_.ClearCallLog(variant_.reader);
    return calls;
}

std::string ReaderWithCard::TakeLog() {
    std::string log;
    for (const auto& call : TakeCalls()) {
        log += call.function;
        std::istringstream words(call.arguments);
        for (std::string word; words >> word;) {
            const std::string key = word.substr(0, word.find('='));
            if (key == "block" || key == "sector" || key == "mode" || key == "slot")
                log += " " + word;
        }
        log += "; ";
    }
    return log;
}

std::vector<std::string> ReaderWithCard::TakeFunctions() {
    std::vector<std::string> functions;
    for (const auto& call : TakeCalls())
        functions.push_back(call.function);
    return functions;
}

void ReaderWithCard::SelectAndLogin() {
    card_.ConnectCard();
    card_.StoreKey(false, kKeyTypeA, 0, kTransportKey.data());
    card_.Login(0, false, kKeyTypeA, 0);
    field_.ClearCallLog(variant_.reader);
}

void ReaderWithCard::ExpectReleased() {
    EXPECT_FALSE(card_.IsCardConnected());
    const bool free = card_.GetReaderLock().try_lock();
    EXPECT_TRUE(free) << "the reader lock is still held";
    if (free)
        card_.GetReaderLock().unlock();
}

testing::AssertionResult SameImage(const Bytes& actual, const Bytes& expected) {
    if (actual.size() != expected.size()) {
        return testing::AssertionFailure()
               << "image of " << actual.size() << " bytes, expected " << expected.size();
    }
    std::size_t first = 0, differing = 0;
    for (std::size_t i = 0; i < actual.size(); ++i) {
        if (actual[i] != expected[i] && differing++ == 0)
            first = i;
    }
    if (differing == 0)
        return testing::AssertionSuccess();
    return testing::AssertionFailure()
           << differing << " bytes differ, the first in block " << first / 16 << " byte "
           << first % 16 << ": 0x" << std::hex << int{actual[first]} << ", expected 0x"
           << int{expected[first]};
}

void ExpectReaderError(const std::function<void()>& action, int returnCode) {
    try {
        action();
        ADD_FAILURE() << "no error, expected reader error " << returnCode;
    } catch (const CACR120Exception& e) {
        EXPECT_EQ(e.GetReturnCode(), returnCode);
    }
}

}  // namespace cardtest
