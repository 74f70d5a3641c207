#pragma once
// Loads the built reader libraries from the test executable's own folder, the way the
// program does, and calls them through the interface header's types: ReaderLib gives both
// variants one shape so that the card behaviour is tested on each. The fixture gives each
// test a fresh state folder with COM1 and USB1 and the variant under test (the test
// parameter: false serial, true USB).

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "control/virtual_field.h"
#include "core/mifare.h"
#include "platform/library.h"
#include "reader/acr120_api.h"

namespace vreader_test {

using Bytes = std::vector<std::uint8_t>;
namespace S = acr120::serial;
namespace U = acr120::usb;

inline std::filesystem::path ExecutableDir() {
    return platform::ProgramModule().file.parent_path();
}

struct Listing {
    std::uint8_t count = 0;
    std::uint32_t flag = 0;
    std::array<std::uint8_t, 16> types{};
    std::array<std::uint8_t, 4> lengths{};
    std::vector<Bytes> serials;  // 10 bytes each, as many as the lists hold
};

class ReaderLib {
public:
    explicit ReaderLib(bool usb) : usb_(usb) {
        const auto path =
            ExecutableDir() / platform::SharedLibraryFileName(usb ? "acr120u" : "acr120");
        library_ = platform::LoadLibraryFile(path);
        if (library_ == nullptr) {
            throw std::runtime_error("cannot load " + path.string());
        }
    }
    ~ReaderLib() { platform::FreeLibraryFile(library_); }
    ReaderLib(const ReaderLib&) = delete;
    ReaderLib& operator=(const ReaderLib&) = delete;

    const char* Name() const { return usb_ ? "USB1" : "COM1"; }
    std::int16_t TrailerWriteCode() const { return usb_ ? -3040 : -3010; }

    // A symbol of the loaded library, typed by the interface header.
    template <typename F>
    F Fn(const char* name) const {
        platform::ProcAddress symbol = platform::FindProc(library_, name);
        if (symbol == nullptr) {
            throw std::runtime_error(std::string("missing ") + name);
        }
        return reinterpret_cast<F>(symbol);
    }
    bool Has(const char* name) const { return platform::FindProc(library_, name) != nullptr; }

    // Calls a function that both variants have, the serial one with the station added.
    template <typename Serial, typename Usb, typename... Args>
    std::int16_t Call(const char* name, std::int16_t h, Args... args) const {
        return usb_ ? Fn<Usb>(name)(h, args...) : Fn<Serial>(name)(h, station, args...);
    }

    std::int16_t Open(int port) const {
        const auto p = static_cast<std::int16_t>(port);
        return usb_ ? Fn<U::Open>("ACR120_Open")(p) : Fn<S::Open>("ACR120_Open")(p, 0);
    }
    std::int16_t Close(std::int16_t h) const {
        return usb_ ? Fn<U::Close>("ACR120_Close")(h) : Fn<S::Close>("ACR120_Close")(h);
    }
    std::int16_t List(std::int16_t h, Listing& out) const {
        std::array<std::uint8_t, 16 * 10> serials{};
        const std::int16_t r =
            usb_ ? Fn<U::ListTags>("ACR120_ListTags")(h, &out.count, out.types.data(),
                                                      out.lengths.data(), serials.data())
                 : Fn<S::ListTag>("ACR120_ListTag")(h, station, &out.count, &out.flag,
                                                    out.types.data(), serials.data());
        out.serials.clear();
        for (int i = 0; i < std::min<int>(out.count, usb_ ? 4 : 16); ++i) {
            out.serials.emplace_back(serials.begin() + i * 10, serials.begin() + i * 10 + 10);
        }
        return r;
    }
    // Selects by UID (MultiTagSelect, as the program does); type through `type`.
    std::int16_t SelectUid(std::int16_t h, const Bytes& uid, std::uint8_t* type = nullptr) const {
        std::array<std::uint8_t, 10> serial{}, out{};
        std::copy(uid.begin(), uid.end(), serial.begin());
        std::uint8_t tagType = 2, length = 0;
        std::uint32_t value = 1;
        const std::int16_t r = usb_ ? Fn<U::MultiTagSelect>("ACR120_MultiTagSelect")(
                                          h, static_cast<std::uint8_t>(uid.size()), serial.data(),
                                          &tagType, &length, out.data())
                                    : Fn<S::MultiTagSelect>("ACR120_MultiTagSelect")(
                                          h, station, serial.data(), &value, &tagType, out.data());
        if (type != nullptr) {
            *type = tagType;
        }
        return r;
    }
    std::int16_t Select(std::int16_t h, std::uint8_t* type, std::uint8_t* length,
                        std::uint8_t* serial) const {
        return Call<S::Select, U::Select>("ACR120_Select", h, type, length, serial);
    }
    // The login mode for a key given in the call or taken from the reader's key store.
    std::uint8_t Mode(bool keyB, bool stored) const {
        if (usb_) {
            return stored ? (keyB ? 0xBF : 0xAF) : (keyB ? 0xBB : 0xAA);
        }
        return stored ? (keyB ? 4 : 3) : (keyB ? 1 : 0);
    }
    std::int16_t LoginMode(std::int16_t h, int sector, std::uint8_t mode, int slot,
                           const std::uint8_t* key) const {
        return Call<S::Login, U::Login>("ACR120_Login", h, sector, mode, slot,
                                        const_cast<std::uint8_t*>(key));
    }
    std::int16_t Login(std::int16_t h, int sector, bool keyB, const Bytes& key) const {
        return LoginMode(h, sector, Mode(keyB, false), keyB ? 1 : 0, key.data());
    }
    std::int16_t LoginStored(std::int16_t h, int sector, bool keyB, int slot) const {
        return LoginMode(h, sector, Mode(keyB, true), slot, nullptr);
    }
    std::int16_t WriteMasterKey(std::int16_t h, int slot, const Bytes& key) const {
        return Call<S::WriteMasterKey, U::WriteMasterKey>("ACR120_WriteMasterKey", h, slot,
                                                          const_cast<std::uint8_t*>(key.data()));
    }
    std::int16_t Read(std::int16_t h, int block, std::uint8_t* data) const {
        return Call<S::Read, U::Read>("ACR120_Read", h, block, data);
    }
    std::int16_t Write(std::int16_t h, int block, const Bytes& data) const {
        return Call<S::Write, U::Write>("ACR120_Write", h, block,
                                        const_cast<std::uint8_t*>(data.data()));
    }
    std::int16_t ReadValue(std::int16_t h, int block, std::int32_t* value) const {
        return Call<S::ReadValue, U::ReadValue>("ACR120_ReadValue", h, block, value);
    }
    std::int16_t WriteValue(std::int16_t h, int block, std::int32_t value) const {
        return Call<S::WriteValue, U::WriteValue>("ACR120_WriteValue", h, block, value);
    }
    std::int16_t Inc(std::int16_t h, int block, std::int32_t amount, std::int32_t* out) const {
        return Call<S::Inc, U::Inc>("ACR120_Inc", h, block, amount, out);
    }
    std::int16_t Dec(std::int16_t h, int block, std::int32_t amount, std::int32_t* out) const {
        return Call<S::Dec, U::Dec>("ACR120_Dec", h, block, amount, out);
    }
    std::int16_t ReadEeprom(std::int16_t h, int reg, std::uint8_t* value) const {
        return Call<S::ReadEEPROM, U::ReadEEPROM>("ACR120_ReadEEPROM", h, reg, value);
    }
    std::int16_t WriteEeprom(std::int16_t h, int reg, std::uint8_t value) const {
        return Call<S::WriteEEPROM, U::WriteEEPROM>("ACR120_WriteEEPROM", h, reg, value);
    }

    std::uint8_t station = 1;

private:
    bool usb_;
    void* library_ = nullptr;
};

namespace rc = acr120::rc;

inline const Bytes kFF(6, 0xFF);
inline const Bytes kKeyA{0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5};
inline const Bytes kKeyB{0xB0, 0xB1, 0xB2, 0xB3, 0xB4, 0xB5};
inline const Bytes kUid1{0x11, 0x22, 0x33, 0x44};
inline const Bytes kUid2{0x55, 0x66, 0x77, 0x88};

inline Bytes Block(std::uint8_t fill) {
    return Bytes(16, fill);
}
// Bytes [from, to) of a block or image.
inline Bytes Part(const Bytes& bytes, std::size_t from, std::size_t to) {
    return Bytes(bytes.begin() + from, bytes.begin() + to);
}

inline Bytes Join(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

inline const ReaderLib& Lib(bool usb) {
    static ReaderLib serial(false);
    static ReaderLib usbLib(true);
    return usb ? usbLib : serial;
}

// A sector trailer: keys, and access bytes for the conditions of groups 0..2 and trailer.
inline Bytes Trailer(const Bytes& keyA, std::array<int, 4> conditions, const Bytes& keyB,
                     std::uint8_t generalPurpose = 0x69) {
    const auto access = vreader::card_model::EncodeAccess(conditions);
    return Join({keyA, Bytes(access.begin(), access.end()), {generalPurpose}, keyB});
}
inline void SetTrailer(Bytes& image, int sector, const Bytes& keyA, std::array<int, 4> conditions,
                       const Bytes& keyB) {
    const Bytes trailer = Trailer(keyA, conditions, keyB);
    std::copy(trailer.begin(), trailer.end(),
              image.begin() + vreader::card_model::TrailerOfSector(sector) * 16);
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
    Bytes Image() const { return field.ReadCard(reader + "/card.mfd"); }
    // A card (UID 11223344) as card.mfd with sector `sector` under the given conditions and
    // the keys kKeyA / kKeyB; selected, not yet authenticated.
    void CardWith(std::array<int, 4> conditions, int sector = 1,
                  vreader::CardKind kind = vreader::CardKind::kClassic1K) {
        Bytes image = vreader::MakeBlankCard(kind, kUid1);
        SetTrailer(image, sector, kKeyA, conditions, kKeyB);
        field.WriteCard(reader, "card.mfd", image);
        if (h < 0) {
            OpenReader();
        }
        ASSERT_EQ(lib.SelectUid(h, kUid1), rc::kOk);
    }
    std::int16_t ReadBlock(int block, Bytes& out) const {
        out.assign(16, 0xEE);
        return lib.Read(h, block, out.data());
    }
    std::int16_t Reselect() const { return lib.SelectUid(h, kUid1); }

    const ReaderLib& lib = Lib(GetParam());
    vreader::ScopedVirtualField field;
    std::string reader = lib.Name();
    std::int16_t h = -1;
};

inline std::string VariantName(const ::testing::TestParamInfo<bool>& info) {
    return info.param ? "Usb" : "Serial";
}

}  // namespace vreader_test
