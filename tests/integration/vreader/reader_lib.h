#pragma once
// Loads the built reader libraries from the test executable's own folder, the way the
// program does, and calls them through the interface header's types. ReaderLib gives
// both variants one shape so that the card behaviour is tested on each.

#include <array>
#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/library.h"
#include "reader/acr120_api.h"

namespace vreader_test {

using Bytes = std::vector<std::uint8_t>;

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

enum class KeySource { kGiven, kStored };

class ReaderLib {
public:
    explicit ReaderLib(bool usb) : usb_(usb) {
        const auto path = ExecutableDir() / (usb ? "libacr120u.so" : "libacr120.so");
        library_ = platform::LoadLibraryFile(path);
        if (library_ == nullptr) {
            throw std::runtime_error("cannot load " + path.string());
        }
    }
    ~ReaderLib() { platform::FreeLibraryFile(library_); }
    ReaderLib(const ReaderLib&) = delete;
    ReaderLib& operator=(const ReaderLib&) = delete;

    bool usb() const { return usb_; }
    const char* Name() const { return usb_ ? "USB1" : "COM1"; }
    std::int16_t TrailerWriteCode() const {
        return usb_ ? acr120::rc::kUnknownReaderError : acr120::rc::kReadFailAfterOperation;
    }

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

    std::int16_t Open(int port) const {
        return usb_ ? Fn<acr120::usb::Open>("ACR120_Open")(static_cast<std::int16_t>(port))
                    : Fn<acr120::serial::Open>("ACR120_Open")(static_cast<std::int16_t>(port), 0);
    }
    std::int16_t Close(std::int16_t h) const {
        return usb_ ? Fn<acr120::usb::Close>("ACR120_Close")(h)
                    : Fn<acr120::serial::Close>("ACR120_Close")(h);
    }
    std::int16_t List(std::int16_t h, Listing& out) const {
        std::array<std::uint8_t, 16 * 10> serials{};
        std::int16_t r;
        int room;
        if (usb_) {
            r = Fn<acr120::usb::ListTags>("ACR120_ListTags")(h, &out.count, out.types.data(),
                                                             out.lengths.data(), serials.data());
            room = 4;
        } else {
            r = Fn<acr120::serial::ListTag>("ACR120_ListTag")(h, station, &out.count, &out.flag,
                                                              out.types.data(), serials.data());
            room = 16;
        }
        out.serials.clear();
        for (int i = 0; i < std::min<int>(out.count, room); ++i) {
            out.serials.emplace_back(serials.begin() + i * 10, serials.begin() + i * 10 + 10);
        }
        return r;
    }
    // Selects by UID (MultiTagSelect, as the program does); type through `type`.
    std::int16_t SelectUid(std::int16_t h, const Bytes& uid, std::uint8_t* type = nullptr) const {
        std::array<std::uint8_t, 10> serial{};
        std::copy(uid.begin(), uid.end(), serial.begin());
        std::array<std::uint8_t, 10> out{};
        std::uint8_t tagType = 2, length = 0;
        std::uint32_t value = 1;
        const std::int16_t r =
            usb_ ? Fn<acr120::usb::MultiTagSelect>("ACR120_MultiTagSelect")(
                       h, static_cast<std::uint8_t>(uid.size()), serial.data(), &tagType, &length,
                       out.data())
                 : Fn<acr120::serial::MultiTagSelect>("ACR120_MultiTagSelect")(
                       h, station, serial.data(), &value, &tagType, out.data());
        if (type != nullptr) {
            *type = tagType;
        }
        return r;
    }
    std::int16_t Select(std::int16_t h, std::uint8_t* type, std::uint8_t* length,
                        std::uint8_t* serial) const {
        return usb_ ? Fn<acr120::usb::Select>("ACR120_Select")(h, type, length, serial)
                    : Fn<acr120::serial::Select>("ACR120_Select")(h, station, type, length, serial);
    }
    std::uint8_t Mode(bool keyB, KeySource source) const {
        if (usb_) {
            return source == KeySource::kGiven ? (keyB ? 0xBB : 0xAA) : (keyB ? 0xBF : 0xAF);
        }
        return source == KeySource::kGiven ? (keyB ? 1 : 0) : (keyB ? 4 : 3);
    }
    std::int16_t LoginMode(std::int16_t h, int sector, std::uint8_t mode, int slot,
                           const std::uint8_t* key) const {
        auto k = const_cast<std::uint8_t*>(key);
        const auto s = static_cast<std::uint8_t>(sector);
        return usb_ ? Fn<acr120::usb::Login>("ACR120_Login")(h, s, mode, slot, k)
                    : Fn<acr120::serial::Login>("ACR120_Login")(h, station, s, mode, slot, k);
    }
    std::int16_t Login(std::int16_t h, int sector, bool keyB, const Bytes& key) const {
        return LoginMode(h, sector, Mode(keyB, KeySource::kGiven), keyB ? 1 : 0, key.data());
    }
    std::int16_t LoginStored(std::int16_t h, int sector, bool keyB, int slot) const {
        return LoginMode(h, sector, Mode(keyB, KeySource::kStored), slot, nullptr);
    }
    std::int16_t WriteMasterKey(std::int16_t h, int slot, const Bytes& key) const {
        auto k = const_cast<std::uint8_t*>(key.data());
        const auto s = static_cast<std::uint8_t>(slot);
        return usb_ ? Fn<acr120::usb::WriteMasterKey>("ACR120_WriteMasterKey")(h, s, k)
                    : Fn<acr120::serial::WriteMasterKey>("ACR120_WriteMasterKey")(h, station, s, k);
    }
    std::int16_t Read(std::int16_t h, int block, std::uint8_t* data) const {
        const auto b = static_cast<std::uint8_t>(block);
        return usb_ ? Fn<acr120::usb::Read>("ACR120_Read")(h, b, data)
                    : Fn<acr120::serial::Read>("ACR120_Read")(h, station, b, data);
    }
    std::int16_t Write(std::int16_t h, int block, const Bytes& data) const {
        auto d = const_cast<std::uint8_t*>(data.data());
        const auto b = static_cast<std::uint8_t>(block);
        return usb_ ? Fn<acr120::usb::Write>("ACR120_Write")(h, b, d)
                    : Fn<acr120::serial::Write>("ACR120_Write")(h, station, b, d);
    }
    std::int16_t ReadValue(std::int16_t h, int block, std::int32_t* value) const {
        const auto b = static_cast<std::uint8_t>(block);
        return usb_ ? Fn<acr120::usb::ReadValue>("ACR120_ReadValue")(h, b, value)
                    : Fn<acr120::serial::ReadValue>("ACR120_ReadValue")(h, station, b, value);
    }
    std::int16_t WriteValue(std::int16_t h, int block, std::int32_t value) const {
        const auto b = static_cast<std::uint8_t>(block);
        return usb_ ? Fn<acr120::usb::WriteValue>("ACR120_WriteValue")(h, b, value)
                    : Fn<acr120::serial::WriteValue>("ACR120_WriteValue")(h, station, b, value);
    }
    std::int16_t Inc(std::int16_t h, int block, std::int32_t amount, std::int32_t* out) const {
        const auto b = static_cast<std::uint8_t>(block);
        return usb_ ? Fn<acr120::usb::Inc>("ACR120_Inc")(h, b, amount, out)
                    : Fn<acr120::serial::Inc>("ACR120_Inc")(h, station, b, amount, out);
    }
    std::int16_t Dec(std::int16_t h, int block, std::int32_t amount, std::int32_t* out) const {
        const auto b = static_cast<std::uint8_t>(block);
        return usb_ ? Fn<acr120::usb::Dec>("ACR120_Dec")(h, b, amount, out)
                    : Fn<acr120::serial::Dec>("ACR120_Dec")(h, station, b, amount, out);
    }
    std::int16_t ReadEeprom(std::int16_t h, int reg, std::uint8_t* value) const {
        const auto r = static_cast<std::uint8_t>(reg);
        return usb_ ? Fn<acr120::usb::ReadEEPROM>("ACR120_ReadEEPROM")(h, r, value)
                    : Fn<acr120::serial::ReadEEPROM>("ACR120_ReadEEPROM")(h, station, r, value);
    }
    std::int16_t WriteEeprom(std::int16_t h, int reg, std::uint8_t value) const {
        const auto r = static_cast<std::uint8_t>(reg);
        return usb_ ? Fn<acr120::usb::WriteEEPROM>("ACR120_WriteEEPROM")(h, r, value)
                    : Fn<acr120::serial::WriteEEPROM>("ACR120_WriteEEPROM")(h, station, r, value);
    }

    std::uint8_t station = 1;

private:
    bool usb_;
    void* library_ = nullptr;
};

}  // namespace vreader_test
