#include "core/mifare.h"

#include <cstring>

namespace vreader::card_model {

std::uint8_t TagTypeOfSize(std::size_t size) {
    switch (size) {
        case k1KSize:
            return kTag1K;
        case k4KSize:
            return kTag4K;
        case kSevenByteSize:
            return kTagSevenByte;
        default:
            return 0;
    }
}

Bytes UidOf(std::span<const std::uint8_t> image) {
    if (image.size() == k1KSize || image.size() == k4KSize) {
        return Bytes(image.begin(), image.begin() + 4);
    }
    if (image.size() == kSevenByteSize) {
        // UID0-2 sit before BCC0 in page 0, UID3-6 fill page 1.
        return Bytes{image[0], image[1], image[2], image[4], image[5], image[6], image[7]};
    }
    return {};
}

int BlockCount(std::size_t imageSize) {
    return static_cast<int>(imageSize / kBlockSize);
}

int SectorCount(std::size_t imageSize) {
    return imageSize == k4KSize ? 40 : 16;
}

int SectorOfBlock(int block) {
    return block < 128 ? block / 4 : block / 16 + 24;
}

int FirstBlockOfSector(int sector) {
    return sector < 32 ? sector * 4 : 128 + (sector - 32) * 16;
}

int BlocksInSector(int sector) {
    return sector < 32 ? 4 : 16;
}

int TrailerOfSector(int sector) {
    return FirstBlockOfSector(sector) + BlocksInSector(sector) - 1;
}

bool IsTrailer(int block) {
    return block == TrailerOfSector(SectorOfBlock(block));
}

std::optional<int> SectorOfLoginArgument(int argument) {
    if (argument >= 0 && argument < 32) {
        return argument;
    }
    if (argument >= 32 && argument <= 60 && argument % 4 == 0) {
        return 32 + (argument - 32) / 4;
    }
    return std::nullopt;
}

int GroupOfBlock(int block) {
    if (IsTrailer(block)) {
        return 3;
    }
    // The 15 data blocks of a 4K upper sector form three groups of five.
    return block < 128 ? block % 4 : (block % 16) / 5;
}

std::optional<std::array<int, 4>> DecodeAccess(std::span<const std::uint8_t> b) {
    if (b.size() < 3) {
        return std::nullopt;
    }
    const int notC1 = b[0] & 0x0F;
    const int notC2 = b[0] >> 4;
    const int notC3 = b[1] & 0x0F;
    const int c1 = b[1] >> 4;
    const int c2 = b[2] & 0x0F;
    const int c3 = b[2] >> 4;
    if ((notC1 ^ c1) != 0x0F || (notC2 ^ c2) != 0x0F || (notC3 ^ c3) != 0x0F) {
        return std::nullopt;
    }
    std::array<int, 4> conditions{};
    for (int i = 0; i < 4; ++i) {
        conditions[i] = ((c1 >> i) & 1) << 2 | ((c2 >> i) & 1) << 1 | ((c3 >> i) & 1);
    }
    return conditions;
}

std::array<std::uint8_t, 3> EncodeAccess(const std::array<int, 4>& conditions) {
    int c1 = 0, c2 = 0, c3 = 0;
    for (int i = 0; i < 4; ++i) {
        c1 |= ((conditions[i] >> 2) & 1) << i;
        c2 |= ((conditions[i] >> 1) & 1) << i;
        c3 |= (conditions[i] & 1) << i;
    }
    return {static_cast<std::uint8_t>((~c2 & 0x0F) << 4 | (~c1 & 0x0F)),
            static_cast<std::uint8_t>(c1 << 4 | (~c3 & 0x0F)),
            static_cast<std::uint8_t>(c3 << 4 | c2)};
}

namespace {
// Who may do something: nobody, key A only, key B only, either key.
enum Who { N = 0, A = 1, B = 2, AB = 3 };

bool Allowed(Who who, Key key) {
    return (who & (key == Key::kA ? A : B)) != 0;
}

// Indexed by C1C2C3 (C1*4 + C2*2 + C3), from the datasheet's data-block table.
constexpr Who kDataRead[8] = {AB, AB, AB, B, AB, B, AB, N};
constexpr Who kDataWrite[8] = {AB, N, N, B, B, N, B, N};
constexpr Who kDataInc[8] = {AB, N, N, N, N, N, B, N};
constexpr Who kDataDec[8] = {AB, AB, N, N, N, N, AB, N};

// The trailer's table. Where key B is readable (000, 010, 001) it cannot be used, so
// those rows name key A alone.
constexpr Who kKeyAWrite[8] = {A, A, N, B, B, N, N, N};
constexpr Who kAccessRead[8] = {A, A, A, AB, AB, AB, AB, AB};
constexpr Who kAccessWrite[8] = {N, A, N, B, N, B, N, N};
constexpr Who kKeyBRead[8] = {A, A, A, N, N, N, N, N};
constexpr Who kKeyBWrite[8] = {A, A, N, B, B, N, N, N};
}  // namespace

bool DataRead(int c, Key key) {
    return Allowed(kDataRead[c & 7], key);
}
bool DataWrite(int c, Key key) {
    return Allowed(kDataWrite[c & 7], key);
}
bool DataIncrement(int c, Key key) {
    return Allowed(kDataInc[c & 7], key);
}
bool DataDecrement(int c, Key key) {
    return Allowed(kDataDec[c & 7], key);
}

bool KeyBReadable(int c) {
    return c == 0 || c == 1 || c == 2;
}
bool TrailerKeyAWrite(int c, Key key) {
    return Allowed(kKeyAWrite[c & 7], key);
}
bool TrailerAccessRead(int c, Key key) {
    return Allowed(kAccessRead[c & 7], key);
}
bool TrailerAccessWrite(int c, Key key) {
    return Allowed(kAccessWrite[c & 7], key);
}
bool TrailerKeyBRead(int c, Key key) {
    return Allowed(kKeyBRead[c & 7], key);
}
bool TrailerKeyBWrite(int c, Key key) {
    return Allowed(kKeyBWrite[c & 7], key);
}

namespace {
std::string WhoText(Who who) {
    switch (who) {
        case A:
            return "A";
        case B:
            return "B";
        case AB:
            return "A|B";
        default:
            return "-";
    }
}
std::string Bits(int c) {
    return std::string{static_cast<char>('0' + ((c >> 2) & 1)),
                       static_cast<char>('0' + ((c >> 1) & 1)), static_cast<char>('0' + (c & 1))};
}
}  // namespace

std::string DescribeDataCondition(int c) {
    c &= 7;
    return Bits(c) + " read " + WhoText(kDataRead[c]) + " write " + WhoText(kDataWrite[c]) +
           " inc " + WhoText(kDataInc[c]) + " dec " + WhoText(kDataDec[c]);
}

std::string DescribeTrailerCondition(int c) {
    c &= 7;
    std::string text = Bits(c) + " keyA write " + WhoText(kKeyAWrite[c]) + " access read " +
                       WhoText(kAccessRead[c]) + " write " + WhoText(kAccessWrite[c]) +
                       " keyB read " + WhoText(kKeyBRead[c]) + " write " + WhoText(kKeyBWrite[c]);
    if (KeyBReadable(c)) {
        text += " (key B readable: not usable as a key)";
    }
    return text;
}

Bytes BlankCard(std::size_t size, std::span<const std::uint8_t> uid) {
    Bytes image(size, 0);
    if (size == kSevenByteSize) {
        // Page 0: UID0-2 and BCC0 (over the cascade tag 0x88); page 1: UID3-6; page 2: BCC1,
        // the internal byte, both lock bytes open; OTP and data pages zero.
        image[0] = uid[0];
        image[1] = uid[1];
        image[2] = uid[2];
        image[3] = static_cast<std::uint8_t>(0x88 ^ uid[0] ^ uid[1] ^ uid[2]);
        for (int i = 0; i < 4; ++i) {
            image[4 + i] = uid[3 + i];
        }
        image[8] = static_cast<std::uint8_t>(uid[3] ^ uid[4] ^ uid[5] ^ uid[6]);
        image[9] = 0x48;
        return image;
    }
    const bool is4K = size == k4KSize;
    // Manufacturer block: UID, BCC, SAK, ATQA, then NXP-style manufacturer data.
    static constexpr std::uint8_t kMaker[8] = {0x62, 0x63, 0x64, 0x65, 0x66, 0x67, 0x68, 0x69};
    std::memcpy(image.data(), uid.data(), 4);
    image[4] = static_cast<std::uint8_t>(uid[0] ^ uid[1] ^ uid[2] ^ uid[3]);
    image[5] = is4K ? 0x18 : 0x08;
    image[6] = is4K ? 0x02 : 0x04;
    image[7] = 0x00;
    std::memcpy(image.data() + 8, kMaker, 8);
    static constexpr std::uint8_t kTrailer[16] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x07,
                                                  0x80, 0x69, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    for (int s = 0; s < SectorCount(size); ++s) {
        std::memcpy(image.data() + TrailerOfSector(s) * kBlockSize, kTrailer, kBlockSize);
    }
    return image;
}

std::optional<std::int32_t> DecodeValue(std::span<const std::uint8_t> b) {
    auto word = [&](int at) {
        return static_cast<std::uint32_t>(b[at]) | static_cast<std::uint32_t>(b[at + 1]) << 8 |
               static_cast<std::uint32_t>(b[at + 2]) << 16 |
               static_cast<std::uint32_t>(b[at + 3]) << 24;
    };
    const std::uint32_t v = word(0);
    if (word(4) != ~v || word(8) != v || b[12] != b[14] || b[13] != b[15] ||
        static_cast<std::uint8_t>(~b[12]) != b[13]) {
        return std::nullopt;
    }
    return static_cast<std::int32_t>(v);
}

void EncodeValue(std::int32_t value, std::uint8_t address, std::span<std::uint8_t> b) {
    const auto v = static_cast<std::uint32_t>(value);
    for (int i = 0; i < 4; ++i) {
        const auto byte = static_cast<std::uint8_t>(v >> (8 * i));
        b[i] = byte;
        b[4 + i] = static_cast<std::uint8_t>(~byte);
        b[8 + i] = byte;
    }
    b[12] = address;
    b[13] = static_cast<std::uint8_t>(~address);
    b[14] = address;
    b[15] = static_cast<std::uint8_t>(~address);
}

}  // namespace vreader::card_model
