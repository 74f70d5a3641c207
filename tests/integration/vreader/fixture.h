#pragma once
// One fixture for the library tests: a fresh state folder with COM1 and USB1, and the
// library variant under test (the test parameter: false serial, true USB).

#include <gtest/gtest.h>

#include <string>

#include "control/virtual_field.h"
#include "core/mifare.h"
#include "reader_lib.h"

namespace vreader_test {

namespace rc = acr120::rc;

inline const Bytes kFF(6, 0xFF);
inline const Bytes kKeyA{0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5};
inline const Bytes kKeyB{0xB0, 0xB1, 0xB2, 0xB3, 0xB4, 0xB5};
inline const Bytes kUid1{0x11, 0x22, 0x33, 0x44};
inline const Bytes kUid2{0x55, 0x66, 0x77, 0x88};

inline Bytes Block(std::uint8_t fill) { return Bytes(16, fill); }

inline const ReaderLib& Lib(bool usb) {
    static ReaderLib serial(false);
    static ReaderLib usbLib(true);
    return usb ? usbLib : serial;
}

// Sets a sector trailer in an image: keys and the conditions of groups 0..2 and trailer.
inline void SetTrailer(Bytes& image, int sector, const Bytes& keyA, std::array<int, 4> conditions,
                       const Bytes& keyB) {
    std::uint8_t* t = image.data() + vreader::mifare::TrailerOfSector(sector) * 16;
    std::copy(keyA.begin(), keyA.end(), t);
    const auto access = vreader::mifare::EncodeAccess(conditions);
    std::copy(access.begin(), access.end(), t + 6);
    t[9] = 0x69;
    std::copy(keyB.begin(), keyB.end(), t + 10);
}

class VReader : public ::testing::TestWithParam<bool> {
protected:
    void TearDown() override {
        if (h >= 0) {
            lib.Close(h);
        }
    }
    void OpenReader() {
        h = lib.Open(0);
        ASSERT_GE(h, 0);
    }
    Bytes Image(const std::string& name = "card.mfd") const {
        return field.ReadCard(reader + "/" + name);
    }
    void Put(const Bytes& image, const std::string& name = "card.mfd") {
        field.WriteCard(reader, name, image);
    }
    // A blank 1K card (UID 11223344) with sector 1 under the given conditions and the keys
    // kKeyA / kKeyB; selected, not yet authenticated.
    void CardWithSector1(std::array<int, 4> conditions, vreader::CardKind kind =
                                                            vreader::CardKind::kClassic1K) {
        Bytes image = vreader::MakeBlankCard(kind, kUid1);
        SetTrailer(image, 1, kKeyA, conditions, kKeyB);
        Put(image);
        if (h < 0) {
            OpenReader();
        }
        ASSERT_EQ(lib.SelectUid(h, kUid1), rc::kOk);
    }
    std::int16_t ReadBlock(int block, Bytes& out) const {
        out.assign(16, 0xEE);
        return lib.Read(h, block, out.data());
    }

    const ReaderLib& lib = Lib(GetParam());
    vreader::ScopedVirtualField field;
    std::string reader = lib.Name();
    std::int16_t h = -1;
};

inline std::string VariantName(const ::testing::TestParamInfo<bool>& info) {
    return info.param ? "Usb" : "Serial";
}

}  // namespace vreader_test
