#include "card_test_support.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "errors/coded_exception.h"
#include "reader/reader_error.h"

namespace cardtest {

std::string PrintVariant(const testing::TestParamInfo<Variant>& info) {
    return info.param.reader == "COM1" ? "Serial" : "Usb";
}

int SectorCount(CardKind kind) { return kind == CardKind::kClassic1K ? 16 : 40; }

int TrailerOfSector(int sector) { return sector < 32 ? sector * 4 + 3 : 128 + (sector - 32) * 16 + 15; }

std::vector<int> DataBlocks(CardKind kind) {
    std::vector<int> blocks;
    for (int sector = 0; sector < SectorCount(kind); ++sector) {
        const int size = sector < 32 ? 4 : 16;
        const int first = TrailerOfSector(sector) - size + 1;
        for (int block = first; block < TrailerOfSector(sector); ++block) {
            if (block != 0) {
                blocks.push_back(block);
            }
        }
    }
    return blocks;
}

std::size_t DataAreaSize(CardKind kind) { return DataBlocks(kind).size() * 16; }

Bytes DataArea(const Bytes& image, CardKind kind) {
    Bytes area;
    for (int block : DataBlocks(kind)) {
        const auto start = image.begin() + block * 16;
        area.insert(area.end(), start, start + 16);
    }
    return area;
}

Bytes WithData(Bytes image, CardKind kind, std::size_t offset, const Bytes& bytes) {
    const std::vector<int> blocks = DataBlocks(kind);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const std::size_t at = offset + i;
        image.at(static_cast<std::size_t>(blocks.at(at / 16)) * 16 + at % 16) = bytes[i];
    }
    return image;
}

Bytes BlockOf(const Bytes& image, int block) {
    return Bytes(image.begin() + block * 16, image.begin() + block * 16 + 16);
}

Bytes WithBlock(Bytes image, int block, const Bytes& content) {
    std::copy(content.begin(), content.end(), image.begin() + block * 16);
    return image;
}

Bytes Trailer(const std::array<std::uint8_t, 6>& keyA, std::array<std::uint8_t, 3> access,
              const std::array<std::uint8_t, 6>& keyB) {
    Bytes trailer(keyA.begin(), keyA.end());
    trailer.insert(trailer.end(), access.begin(), access.end());
    trailer.push_back(0x00);
    trailer.insert(trailer.end(), keyB.begin(), keyB.end());
    return trailer;
}

Bytes PatternedCard(CardKind kind) {
    Bytes image = vreader::MakeBlankCard(kind, Bytes{0x11, 0x22, 0x33, 0x44});
    for (int block : DataBlocks(kind)) {
        for (int i = 0; i < 16; ++i) {
            image[static_cast<std::size_t>(block * 16 + i)] = static_cast<std::uint8_t>(block * 7 + i + 1);
        }
    }
    return image;
}

Bytes Record(const std::string& text) {
    Bytes record{static_cast<std::uint8_t>(text.size() & 0xFF),
                 static_cast<std::uint8_t>(text.size() >> 8)};
    record.insert(record.end(), text.begin(), text.end());
    return record;
}

Bytes CardWithNotice(CardKind kind, const std::string& text) {
    return WithData(PatternedCard(kind), kind, 0, Record(text));
}

ReaderWithCard::MemoryTempFolder::MemoryTempFolder() {
#ifndef _WIN32
    static const bool done = [] {
        std::error_code ec;
        if (std::getenv("TMPDIR") == nullptr && std::filesystem::is_directory("/dev/shm", ec)) {
            ::setenv("TMPDIR", "/dev/shm", 0);
        }
        return true;
    }();
    (void)done;
#endif
}

ReaderWithCard::ReaderWithCard(const Variant& variant, const Bytes& image) : variant_(variant) {
    field_.PlaceImage(variant_.reader, image, kCardFile);
    card_.SetReaderName(variant_.name.c_str());
    card_.Connect();
    field_.ClearCallLog(variant_.reader);
}

Bytes ReaderWithCard::Image() const {
    for (const auto& info : field_.Field(variant_.reader)) {
        if (info.name == kCardFile) {
            return field_.ReadCard(variant_.reader + "/" + kCardFile);
        }
    }
    return field_.ReadCard(kCardFile);
}

std::vector<Call> ReaderWithCard::TakeCalls() {
    std::vector<Call> calls;
    for (const auto& record : field_.CallLog(variant_.reader)) {
        Call call;
        call.function = record.function;
        call.result = record.result;
        std::istringstream words(record.arguments);
        std::string word;
        while (words >> word) {
            const auto equals = word.find('=');
            if (equals != std::string::npos) {
                call.args[word.substr(0, equals)] = word.substr(equals + 1);
            }
        }
        calls.push_back(call);
    }
    field_.ClearCallLog(variant_.reader);
    return calls;
}

std::vector<std::string> ReaderWithCard::TakeFunctions() {
    std::vector<std::string> functions;
    for (const auto& call : TakeCalls()) {
        functions.push_back(call.function);
    }
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
    if (free) {
        card_.GetReaderLock().unlock();
    }
}

testing::AssertionResult SameImage(const Bytes& actual, const Bytes& expected) {
    if (actual.size() != expected.size()) {
        return testing::AssertionFailure() << "image of " << actual.size() << " bytes, expected "
                                           << expected.size();
    }
    int differing = 0;
    std::ostringstream report;
    for (std::size_t i = 0; i < actual.size(); ++i) {
        if (actual[i] != expected[i] && differing++ < 8) {
            report << "\n  block " << i / 16 << " byte " << i % 16 << ": 0x" << std::hex
                   << int{actual[i]} << ", expected 0x" << int{expected[i]} << std::dec;
        }
    }
    if (differing == 0) {
        return testing::AssertionSuccess();
    }
    return testing::AssertionFailure() << differing << " bytes differ" << report.str();
}

void ExpectCoded(const std::function<void()>& action, int code, const std::u16string& source) {
    try {
        action();
        ADD_FAILURE() << "no error, expected coded error " << code;
    } catch (const CCodedException& e) {
        EXPECT_EQ(e.GetCode(), code);
        EXPECT_EQ(e.GetSource(), source);
    }
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
