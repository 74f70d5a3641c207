#pragma once
// A card object connected to one virtual reader with one card in its field, and
// a model of the card format written independently of the code under test, so
// that tests can predict whole card images byte for byte.

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "card/acr120_mifare.h"
#include "control/virtual_field.h"

namespace cardtest {

using vreader::Bytes;
using vreader::CardKind;

struct Variant {
    std::string reader;  // the virtual reader's folder name
    std::u16string name;  // the name the program is given
};
inline const Variant kSerial{"COM1", u"COM1"};
inline const Variant kUsb{"USB1", u"USB1"};
std::string PrintVariant(const testing::TestParamInfo<Variant>& info);
inline void PrintTo(const Variant& variant, std::ostream* os) { *os << variant.reader; }

inline constexpr const char* kCardFile = "card.mfd";
inline constexpr std::array<std::uint8_t, 6> kTransportKey{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};

// The card format, as the tests understand it.
int SectorCount(CardKind kind);
int TrailerOfSector(int sector);
std::vector<int> DataBlocks(CardKind kind);  // every block but 0 and the trailers
std::size_t DataAreaSize(CardKind kind);     // 752 or 3440
Bytes DataArea(const Bytes& image, CardKind kind);
// The image with `bytes` laid over the data area from `offset` on.
Bytes WithData(Bytes image, CardKind kind, std::size_t offset, const Bytes& bytes);
Bytes BlockOf(const Bytes& image, int block);
Bytes WithBlock(Bytes image, int block, const Bytes& content);
// A trailer: key A, access bytes, 0x00, key B.
Bytes Trailer(const std::array<std::uint8_t, 6>& keyA, std::array<std::uint8_t, 3> access,
              const std::array<std::uint8_t, 6>& keyB);
// A transport card whose data blocks hold a pattern that differs in every byte.
Bytes PatternedCard(CardKind kind);
// A transport card whose data area begins with the notice record for `text`.
Bytes CardWithNotice(CardKind kind, const std::string& text);
Bytes Record(const std::string& text);

struct Call {
    std::string function;
    std::map<std::string, std::string> args;
    int result = 0;
};

class ReaderWithCard {
public:
    ReaderWithCard(const Variant& variant, const Bytes& image);

    CACR120Mifare& Card() { return card_; }
    vreader::VirtualField& Field() { return field_; }
    const std::string& Reader() const { return variant_.reader; }

    // The card's image, also after a fault has taken it out of the field.
    Bytes Image() const;
    // The calls since the last TakeCalls (or since Connect), then forgets them.
    std::vector<Call> TakeCalls();
    std::vector<std::string> TakeFunctions();
    // Selects the card and logs in to sector 0 with the transport key.
    void SelectAndLogin();
    // The sequence has let go of the card: flag clear, lock free.
    void ExpectReleased();

private:
    // Keeps the state folder in memory where the system has a memory file
    // system: the virtual reader syncs every card write, and the fault tests
    // make tens of thousands of them.
    struct MemoryTempFolder {
        MemoryTempFolder();
    };

    MemoryTempFolder memoryTemp_;
    Variant variant_;
    vreader::ScopedVirtualField field_;
    CACR120Mifare card_;
};

// Equal images, or where they first differ (block and byte) and how.
testing::AssertionResult SameImage(const Bytes& actual, const Bytes& expected);

// Runs `action` and expects a coded error with this code and source.
void ExpectCoded(const std::function<void()>& action, int code, const std::u16string& source);
// Runs `action` and expects a reader error with this return code.
void ExpectReaderError(const std::function<void()>& action, int returnCode);

}  // namespace cardtest
