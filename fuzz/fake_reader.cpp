#include "fake_reader.h"

#include "card/mifare_geometry.h"
#include "monitor/mon_thread.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace fuzz {

namespace {

using acr120::kBlockSize;
using acr120::kSerialNumberSize;

// The library's error codes and a few successes that are not 0.
constexpr std::array<std::int16_t, 12> kStatuses{acr120::rc::kNoCard,
                                                 acr120::rc::kOperationFailed,
                                                 acr120::rc::kLoginFailed,
                                                 acr120::rc::kNotAuthorized,
                                                 acr120::rc::kReadFailAfterOperation,
                                                 acr120::rc::kUnknownReaderError,
                                                 acr120::rc::kInvalidHandle,
                                                 acr120::rc::kInternalError,
                                                 -1,
                                                 -32768,
                                                 1,
                                                 32767};

std::int16_t NextStatus() {
    Library& library = TheLibrary();
    ++library.calls;
    return library.calls == library.failAt ? library.failCode : std::int16_t{0};
}

[[noreturn]] void Violation(const char* what, int value) {
    std::fprintf(stderr, "reader library misused: %s (%d)\n", what, value);
    std::abort();
}

// The sector a login number names; a number that names none is a misuse.
int SectorOfLogin(std::uint8_t loginSector) {
    for (std::uint8_t sector = 0; mifare::IsSectorNumber(sector); ++sector) {
        if (mifare::LoginSectorNumber(sector) == loginSector) {
            return sector;
        }
    }
    Violation("login sector number of no sector", loginSector);
}

std::int16_t Login(std::uint8_t loginSector) {
    Library& library = TheLibrary();
    const int sector = SectorOfLogin(loginSector);
    const std::int16_t status = NextStatus();
    if (status >= 0) {
        library.loggedInSector = sector;
    }
    return status;
}

// A read outside the card, or of a sector not logged in to, is what the card layer
// must never ask for.
std::int16_t Read(std::uint8_t block, std::uint8_t* data) {
    Library& library = TheLibrary();
    if (static_cast<std::size_t>(block) * kBlockSize >= library.image.size()) {
        Violation("read past the card's last block", block);
    }
    if (mifare::SectorOfBlock(block) != library.loggedInSector) {
        Violation("read outside the logged-in sector", block);
    }
    const std::int16_t status = NextStatus();
    std::copy_n(library.image.begin() + block * kBlockSize, kBlockSize, data);
    return status;
}

std::int16_t Write(std::uint8_t block, std::uint8_t* data) {
    Library& library = TheLibrary();
    if (static_cast<std::size_t>(block) * kBlockSize >= library.image.size() ||
        mifare::SectorOfBlock(block) != library.loggedInSector) {
        Violation("write outside the logged-in sector", block);
    }
    const std::int16_t status = NextStatus();
    std::copy_n(data, kBlockSize, library.image.begin() + block * kBlockSize);
    return status;
}

void FillFromInput(std::uint8_t* out, std::size_t count) {
    Input* input = TheLibrary().input;
    if (input != nullptr) {
        input->Fill(out, count);
    } else {
        std::fill_n(out, count, std::uint8_t{0});
    }
}

namespace serial {
std::int16_t Open(std::int16_t, std::int16_t) {
    return 0;
}
std::int16_t Close(std::int16_t) {
    return 0;
}
std::int16_t GetId(std::int16_t, std::uint8_t* count, std::uint8_t* stations) {
    *count = 1;
    stations[0] = 1;
    return 0;
}
std::int16_t ReadEeprom(std::int16_t, std::uint8_t, std::uint8_t, std::uint8_t* value) {
    *value = 0x46;
    return 0;
}
std::int16_t WriteEeprom(std::int16_t, std::uint8_t, std::uint8_t, std::uint8_t) {
    return 0;
}
std::int16_t ListTag(std::int16_t, std::uint8_t, std::uint8_t* count, std::uint32_t* typeFlag,
                     std::uint8_t* types, std::uint8_t* serials) {
    Library& library = TheLibrary();
    if (library.input == nullptr) {
        *count = 1;
        *typeFlag = 1;
        types[0] = library.tagType;
        std::fill_n(serials, acr120::kSerialListMaxTags * kSerialNumberSize, std::uint8_t{0});
        std::copy_n(library.image.begin(), 4, serials);
        return NextStatus();
    }
    FillFromInput(count, 1);
    std::uint8_t flag[4];
    FillFromInput(flag, sizeof flag);
    *typeFlag = static_cast<std::uint32_t>(flag[0] | flag[1] << 8 | flag[2] << 16) |
                static_cast<std::uint32_t>(flag[3]) << 24;
    FillFromInput(types, acr120::kMaxTagTypes);
    FillFromInput(serials, acr120::kSerialListMaxTags * kSerialNumberSize);
    return StatusFromByte(library.input->Byte());
}
std::int16_t MultiTagSelect(std::int16_t, std::uint8_t, std::uint8_t* serial, std::uint32_t*,
                            std::uint8_t*, std::uint8_t* serialOut) {
    std::copy_n(serial, kSerialNumberSize, serialOut);
    return NextStatus();
}
std::int16_t WriteMasterKey(std::int16_t, std::uint8_t, std::uint8_t, std::uint8_t*) {
    return NextStatus();
}
std::int16_t Login(std::int16_t, std::uint8_t, std::uint8_t sector, std::uint8_t, std::int32_t,
                   std::uint8_t*) {
    return fuzz::Login(sector);
}
std::int16_t Read(std::int16_t, std::uint8_t, std::uint8_t block, std::uint8_t* data) {
    return fuzz::Read(block, data);
}
std::int16_t Write(std::int16_t, std::uint8_t, std::uint8_t block, std::uint8_t* data) {
    return fuzz::Write(block, data);
}
}  // namespace serial

namespace usb {
std::int16_t Open(std::int16_t) {
    return 0;
}
std::int16_t Close(std::int16_t) {
    return 0;
}
std::int16_t ListTags(std::int16_t, std::uint8_t* count, std::uint8_t* types, std::uint8_t* lengths,
                      std::uint8_t* serials) {
    Library& library = TheLibrary();
    if (library.input == nullptr) {
        *count = 1;
        types[0] = library.tagType;
        lengths[0] = 4;
        std::copy_n(library.image.begin(), 4, serials);
        return NextStatus();
    }
    FillFromInput(count, 1);
    FillFromInput(types, acr120::kMaxTagTypes);
    FillFromInput(lengths, acr120::kUsbListMaxTags);
    FillFromInput(serials, acr120::kUsbListMaxTags * kSerialNumberSize);
    if (library.scramblePastLengths) {
        for (std::size_t tag = 0; tag < acr120::kUsbListMaxTags; ++tag) {
            const std::size_t kept =
                tag < *count ? std::min<std::size_t>(lengths[tag], kSerialNumberSize) : 0;
            for (std::size_t i = kept; i < kSerialNumberSize; ++i) {
                serials[tag * kSerialNumberSize + i] ^= 0xA5;
            }
        }
    }
    return StatusFromByte(library.input->Byte());
}
std::int16_t MultiTagSelect(std::int16_t, std::uint8_t length, std::uint8_t* serial,
                            std::uint8_t* tagType, std::uint8_t* lengthOut,
                            std::uint8_t* serialOut) {
    if (length > kSerialNumberSize) {
        Violation("serial number longer than its buffer", length);
    }
    Library& library = TheLibrary();
    std::copy_n(serial, kSerialNumberSize, serialOut);
    *lengthOut = length;
    *tagType = library.tagType;
    if (library.input != nullptr) {
        FillFromInput(tagType, 1);
        FillFromInput(lengthOut, 1);
    }
    return NextStatus();
}
std::int16_t WriteMasterKey(std::int16_t, std::uint8_t, std::uint8_t*) {
    return NextStatus();
}
std::int16_t Login(std::int16_t, std::uint8_t sector, std::uint8_t, std::int32_t, std::uint8_t*) {
    return fuzz::Login(sector);
}
std::int16_t Read(std::int16_t, std::uint8_t block, std::uint8_t* data) {
    return fuzz::Read(block, data);
}
std::int16_t Write(std::int16_t, std::uint8_t block, std::uint8_t* data) {
    return fuzz::Write(block, data);
}
}  // namespace usb

}  // namespace

Library& TheLibrary() {
    static Library library;
    return library;
}

std::int16_t StatusFromByte(std::uint8_t byte) {
    // Mostly success, so that the program gets past its first call.
    constexpr std::uint8_t kFirstFailure = 0xF0;
    return byte < kFirstFailure ? std::int16_t{0}
                                : kStatuses[(byte - kFirstFailure) % kStatuses.size()];
}

Card::Card() : CACR120Mifare(&CMonThread::Create) {
    using S = CACR120Dll::Entries;
    serialDll_->Replace(&S::open, &serial::Open);
    serialDll_->Replace(&S::close, &serial::Close);
    serialDll_->Replace(&S::getId, &serial::GetId);
    serialDll_->Replace(&S::readEeprom, &serial::ReadEeprom);
    serialDll_->Replace(&S::writeEeprom, &serial::WriteEeprom);
    serialDll_->Replace(&S::listTag, &serial::ListTag);
    serialDll_->Replace(&S::multiTagSelect, &serial::MultiTagSelect);
    serialDll_->Replace(&S::writeMasterKey, &serial::WriteMasterKey);
    serialDll_->Replace(&S::login, &serial::Login);
    serialDll_->Replace(&S::read, &serial::Read);
    serialDll_->Replace(&S::write, &serial::Write);
    using U = CACR120UDll::Entries;
    usbDll_->Replace(&U::open, &usb::Open);
    usbDll_->Replace(&U::close, &usb::Close);
    usbDll_->Replace(&U::listTags, &usb::ListTags);
    usbDll_->Replace(&U::multiTagSelect, &usb::MultiTagSelect);
    usbDll_->Replace(&U::writeMasterKey, &usb::WriteMasterKey);
    usbDll_->Replace(&U::login, &usb::Login);
    usbDll_->Replace(&U::read, &usb::Read);
    usbDll_->Replace(&U::write, &usb::Write);
}

void Card::Open(bool usb) {
    Disconnect();
    SetReaderName(usb ? u"USB1" : u"COM1");
    Connect();
}

bool Card::LockIsFree() {
    return std::unique_lock(GetReaderLock(), std::try_to_lock).owns_lock();
}

}  // namespace fuzz
