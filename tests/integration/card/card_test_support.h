#pragma once
// A card object connected to one virtual reader with one card in its field, and
// a model of the card format written independently of the code under test, so
// that tests can predict whole card images byte for byte.

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "card/acr120_mifare.h"
#include "control/virtual_field.h"
#include "errors/coded_exception.h"
#include "monitor/mon_thread.h"

namespace cardtest {

using vreader::Bytes;
using vreader::CardKind;

struct Variant {
    std::string reader;   // the virtual reader's folder name
    std::u16string name;  // the name the program is given
};
inline const Variant kSerial{"COM1", u"COM1"};
inline const Variant kUsb{"USB1", u"USB1"};
inline std::string Name(const Variant& v) {
    return v.reader == "COM1" ? "Serial" : "Usb";
}
inline std::string Name(CardKind kind) {
    return kind == CardKind::kClassic1K ? "1K" : "4K";
}
inline void PrintTo(const Variant& variant, std::ostream* os) {
    *os << variant.reader;
}

inline constexpr const char* kCardFile = "card.mfd";
inline constexpr std::array<std::uint8_t, 6> kTransportKey{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};

// The card format, as the tests understand it.
inline int SectorCount(CardKind kind) {
    return kind == CardKind::kClassic1K ? 16 : 40;
}
inline int TrailerOfSector(int sector) {
    return sector < 32 ? sector * 4 + 3 : 128 + (sector - 32) * 16 + 15;
}
std::vector<int> DataBlocks(CardKind kind);  // every block but 0 and the trailers
inline std::size_t DataAreaSize(CardKind kind) {
    return DataBlocks(kind).size() * 16;
}  // 752 or 3440
Bytes DataArea(const Bytes& image, CardKind kind);
// The image with `bytes` laid over the data area from `offset` on.
Bytes WithData(Bytes image, CardKind kind, std::size_t offset, const Bytes& bytes);
Bytes WithBlock(Bytes image, int block, const Bytes& content);
// A trailer of key A, access bytes FF 07 80, 00 and the transport key B.
Bytes TransportTrailer(const std::array<std::uint8_t, 6>& keyA);
// A transport card whose data blocks hold a pattern that differs in every byte.
Bytes PatternedCard(CardKind kind);
// The notice record: length low byte, high byte, text.
Bytes Record(const std::string& text);
// A patterned card whose data area begins with the notice record for `text`.
inline Bytes CardWithNotice(CardKind kind, const std::string& text) {
    return WithData(PatternedCard(kind), kind, 0, Record(text));
}

class ReaderWithCard {
public:
    ReaderWithCard(const Variant& variant, const Bytes& image);

    CACR120Mifare& Card() { return card_; }
    vreader::VirtualField& Field() { return field_; }
    const std::string& Reader() const { return variant_.reader; }

    // The card's image, also after a fault has taken it out of the field.
    Bytes Image() const;
    // The calls since the last take (or since Connect), then forgets them. The log
    // keeps the block, sector, mode and slot: "Read block=1; Login sector=1 mode=0 slot=0; ".
    std::string TakeLog();
    std::vector<std::string> TakeFunctions();
    // Selects the card and logs in to sector 0 with the transport key.
    void SelectAndLogin();
    // The sequence has let go of the card: flag clear, lock free.
    void ExpectReleased();

private:
    // Keeps the state folder in memory where the system has a memory file system:
    // the virtual reader syncs every card write, and the fault tests make tens of
    // thousands of them.
    struct MemoryTempFolder {
        MemoryTempFolder();
    };

    std::vector<vreader::CallRecord> TakeCalls();

    MemoryTempFolder memoryTemp_;
    Variant variant_;
    vreader::ScopedVirtualField field_;
    CACR120Mifare card_{&CMonThread::Create};
};

// Equal images, or where they first differ (block and byte) and how.
testing::AssertionResult SameImage(const Bytes& actual, const Bytes& expected);

// Runs `action` and expects an error of this type, code and source.
template <typename Error = CCodedException>
void ExpectCoded(const std::function<void()>& action, int code,
                 const std::u16string& source = u"PCSCCard_Mifare") {
    try {
        action();
        ADD_FAILURE() << "no error, expected error " << code;
    } catch (const Error& e) {
        EXPECT_EQ(e.GetCode(), code);
        EXPECT_EQ(e.GetSource(), source);
    }
}
// Runs `action` and expects a reader error with this return code.
void ExpectReaderError(const std::function<void()>& action, int returnCode);

}  // namespace cardtest
