#include "lib/session.h"

#include <fcntl.h>
#include <sys/file.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <map>
#include <memory>
#include <mutex>
#include <span>
#include <string>

#include "core/mifare.h"
#include "core/state.h"
#include "reader/acr120_api.h"

namespace vreader::lib {

namespace {

namespace fs = std::filesystem;
namespace rc = acr120::rc;
using mifare::Bytes;
using mifare::Key;

constexpr int kPorts = 8;
constexpr int kSerialLength = acr120::kSerialNumberSize;

// A reader opened through this library.
struct Session {
    fs::path dir;
    fs::path stateDir;
    int lockFd = -1;  // holds the flock that makes a second open "occupied"

    std::mutex mutex;  // guards everything below
    bool selected = false;
    std::string card;  // file name of the selected card in the field
    Bytes uid;
    std::optional<int> authSector;
    Key authKey = Key::kA;

    ~Session() {
        if (lockFd >= 0) {
            ::close(lockFd);
        }
    }
    void Deselect() {
        selected = false;
        authSector.reset();
    }
};

std::mutex gTableMutex;
std::map<std::int16_t, std::shared_ptr<Session>> gSessions;

std::shared_ptr<Session> Find(std::int16_t handle) {
    std::lock_guard lock(gTableMutex);
    auto it = gSessions.find(handle);
    return it == gSessions.end() ? nullptr : it->second;
}

// A cancellation point: the program ends a hung monitor thread with pthread_cancel,
// which must find it here holding no lock.
void SleepMs(long ms) {
    timespec time{ms / 1000, (ms % 1000) * 1000000L};
    while (::nanosleep(&time, &time) != 0 && errno == EINTR) {
    }
}

std::string Hex(const std::uint8_t* data, std::size_t size) {
    return data == nullptr ? std::string("null") : state::Hex(data, size);
}

std::string Serial10(const Bytes& uid) {
    Bytes padded(kSerialLength, 0);
    std::copy(uid.begin(), uid.end(), padded.begin());
    return state::Hex(padded.data(), padded.size());
}

void PutSerial(const Bytes& uid, std::uint8_t* out) {
    std::memset(out, 0, kSerialLength);
    std::copy(uid.begin(), uid.end(), out);
}

// What the faults of a reader ask of one call.
struct Plan {
    std::optional<std::int16_t> failWith;
    bool removeAfter = false;
};

// Counts the call against the countdown faults (fail, remove) of its function.
Plan CountDown(const fs::path& dir, const char* fn) {
    Plan plan;
    auto counted = [&](const state::Fault& f) {
        return (f.type == state::Fault::Type::kFail || f.type == state::Fault::Type::kRemove) &&
               f.Matches(fn);
    };
    auto faults = state::ReadFaults(dir);
    if (std::none_of(faults.begin(), faults.end(), counted)) {
        return plan;
    }
    state::FieldLock lock(dir);
    faults = state::ReadFaults(dir);  // again, under the lock
    std::vector<state::Fault> kept;
    for (auto fault : faults) {
        if (!counted(fault)) {
            kept.push_back(fault);
            continue;
        }
        if (fault.at > 1) {
            --fault.at;
            kept.push_back(fault);
            continue;
        }
        if (fault.type == state::Fault::Type::kRemove) {
            plan.removeAfter = true;
            continue;  // spent
        }
        if (!plan.failWith) {
            plan.failWith = static_cast<std::int16_t>(fault.code);
        }
        if (fault.times == 0) {
            kept.push_back(fault);
        } else if (fault.times > 1) {
            --fault.times;
            kept.push_back(fault);
        }
    }
    state::WriteFaults(dir, kept);
    return plan;
}

bool HasFault(const fs::path& dir, state::Fault::Type type, const char* fn = nullptr) {
    for (const auto& fault : state::ReadFaults(dir)) {
        if (fault.type == type && (fn == nullptr || fault.Matches(fn))) {
            return true;
        }
    }
    return false;
}

int FaultCount(const fs::path& dir, state::Fault::Type type) {
    for (const auto& fault : state::ReadFaults(dir)) {
        if (fault.type == type) {
            return fault.count;
        }
    }
    return -1;
}

// Latency, then a "block" fault: the call waits until the fault is lifted.
void Delay(const fs::path& dir, const char* fn, const std::string& args) {
    const int latency = FaultCount(dir, state::Fault::Type::kLatency);
    if (latency > 0) {
        SleepMs(latency);
    }
    if (HasFault(dir, state::Fault::Type::kBlock, fn)) {
        state::AppendCallLog(dir, std::string(fn) + " " + args + " -> blocked");
        while (HasFault(dir, state::Fault::Type::kBlock, fn)) {
            SleepMs(5);
        }
    }
}

void TakeCardAway(Session& s) {
    fs::path image;
    {
        std::lock_guard lock(s.mutex);
        if (s.selected) {
            image = s.dir / s.card;
        }
    }
    state::FieldLock lock(s.dir);
    std::error_code ec;
    if (image.empty() || !fs::exists(image, ec)) {
        auto cards = state::ListCards(s.dir);
        if (cards.empty()) {
            return;
        }
        image = cards.front().path;
    }
    state::MoveToCards(s.stateDir, image);
}

// Runs one call on an open reader: the faults of its folder, the work, the call log.
// `work` runs under the session's mutex; `describe` formats arguments and outputs for
// the log once the work is done.
template <typename Work, typename Describe>
std::int16_t Run(std::int16_t handle, const char* fn, Station station, Work work,
                 Describe describe) {
    auto session = Find(handle);
    if (!session) {
        return rc::kInvalidHandle;
    }
    Session& s = *session;
    const std::string stationText =
        station ? "station=" + std::to_string(*station) + " " : std::string();
    const std::string head = "handle=" + std::to_string(handle) + " " + stationText;
    const Plan plan = CountDown(s.dir, fn);
    Delay(s.dir, fn, head + "...");
    std::int16_t result = 0;
    if (plan.failWith) {
        result = *plan.failWith;
    } else if (station && *station != state::ReadStation(s.dir)) {
        result = rc::kInvalidParameter;  // no reader answers at that station
    } else {
        std::lock_guard lock(s.mutex);
        result = work(s);
    }
    state::AppendCallLog(s.dir, std::string(fn) + " " + head + describe(result) + " -> " +
                                    std::to_string(result));
    if (plan.removeAfter) {
        TakeCardAway(s);
    }
    return result;
}

// Catches what must not cross the C boundary. Only std::exception: a thread being
// cancelled unwinds with abi::__forced_unwind, which must pass untouched.
template <typename Body>
std::int16_t Guard(Body body) {
    try {
        return body();
    } catch (const std::exception&) {
        return rc::kInternalError;
    }
}

bool IsClassic(const Bytes& image) {
    return image.size() == mifare::k1KSize || image.size() == mifare::k4KSize;
}

// The selected card's image as it is now; drops the selection when the card has left
// the field (or another card lies under its name).
std::optional<Bytes> Current(Session& s) {
    if (!s.selected) {
        return std::nullopt;
    }
    auto image = state::ReadFileBytes(s.dir / s.card);
    if (!image || mifare::TagTypeOfSize(image->size()) == 0 || mifare::UidOf(*image) != s.uid) {
        s.Deselect();
        return std::nullopt;
    }
    return image;
}

// Writes the image back unless the card has gone meanwhile.
std::int16_t Store(Session& s, const Bytes& image) {
    state::FieldLock lock(s.dir);
    const fs::path path = s.dir / s.card;
    auto now = state::ReadFileBytes(path);
    if (!now || mifare::UidOf(*now) != s.uid) {
        s.Deselect();
        return rc::kNoCard;
    }
    return state::WriteFileAtomic(path, image) ? rc::kOk : rc::kOperationFailed;
}

std::optional<std::array<int, 4>> Access(const Bytes& image, int sector) {
    const std::size_t at = static_cast<std::size_t>(mifare::TrailerOfSector(sector)) * 16 + 6;
    return mifare::DecodeAccess(std::span(image).subspan(at, 3));
}

// Checks that `block` may be reached under the current authentication; gives the
// block's access condition.
std::int16_t Reach(Session& s, const Bytes& image, int block, int* condition) {
    if (!s.authSector || block >= mifare::BlockCount(image.size()) ||
        mifare::SectorOfBlock(block) != *s.authSector) {
        return rc::kNotAuthorized;
    }
    auto access = Access(image, *s.authSector);
    if (!access) {
        return rc::kNotAuthorized;  // access bits broken since the login: the sector is dead
    }
    *condition = (*access)[mifare::GroupOfBlock(block)];
    return rc::kOk;
}

std::int16_t SelectCard(Session& s, const state::CardFile& card, std::uint8_t* type,
                        std::uint8_t* length, std::uint8_t* serial) {
    s.Deselect();
    s.selected = true;
    s.card = card.name;
    s.uid = mifare::UidOf(card.image);
    if (type != nullptr) {
        *type = mifare::TagTypeOfSize(card.image.size());
    }
    if (length != nullptr) {
        *length = static_cast<std::uint8_t>(s.uid.size());
    }
    if (serial != nullptr) {
        PutSerial(s.uid, serial);
    }
    return rc::kOk;
}

// The outputs of a call, for the log; formatted only when the call succeeded, since
// the output buffers hold nothing meaningful otherwise.
template <typename Outputs>
std::string R(std::int16_t result, Outputs outputs) {
    return result == 0 ? std::string(outputs()) : std::string();
}

}  // namespace

std::int16_t Open(Variant v, std::int16_t portIndex) {
    return Guard([&]() -> std::int16_t {
        if (portIndex < 0 || portIndex >= kPorts) {
            return rc::kInvalidPort;
        }
        const fs::path stateDir = state::StateDir();
        const fs::path dir = stateDir / ((v.usb ? "USB" : "COM") + std::to_string(portIndex + 1));
        std::error_code ec;
        if (!fs::is_directory(dir, ec)) {
            return rc::kInvalidPort;
        }
        const std::string args = "port=" + std::to_string(portIndex);
        const Plan plan = CountDown(dir, "Open");
        Delay(dir, "Open", args);
        auto finish = [&](std::int16_t result) {
            state::AppendCallLog(dir, "Open " + args + " -> " + std::to_string(result));
            return result;
        };
        if (plan.failWith) {
            return finish(*plan.failWith);
        }
        auto session = std::make_shared<Session>();
        session->dir = dir;
        session->stateDir = stateDir;
        session->lockFd = ::open((dir / state::kOpenLockFile).c_str(),
                                 O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        if (session->lockFd < 0) {
            return finish(rc::kInvalidPort);
        }
        if (::flock(session->lockFd, LOCK_EX | LOCK_NB) != 0) {
            return finish(errno == EWOULDBLOCK ? rc::kPortOccupied : rc::kInternalError);
        }
        std::lock_guard lock(gTableMutex);
        std::int16_t handle = 0;
        while (gSessions.count(handle) != 0) {
            ++handle;
        }
        gSessions[handle] = std::move(session);
        return finish(handle);
    });
}

std::int16_t Close(Variant, std::int16_t handle) {
    return Guard([&]() -> std::int16_t {
        auto session = Find(handle);
        if (!session) {
            return rc::kInvalidHandle;
        }
        const std::int16_t result = Run(
            handle, "Close", std::nullopt, [](Session&) { return rc::kOk; },
            [](std::int16_t) { return std::string(); });
        if (result == rc::kOk) {
            std::lock_guard lock(gTableMutex);
            gSessions.erase(handle);  // the lock goes with the last user of the session
        }
        return result;
    });
}

std::int16_t GetId(Variant, std::int16_t handle, std::uint8_t* count, std::uint8_t* stations) {
    return Guard([&]() -> std::int16_t {
        return Run(
            handle, "GetID", std::nullopt,
            [&](Session& s) -> std::int16_t {
                if (count == nullptr || stations == nullptr) {
                    return rc::kInvalidParameter;
                }
                if (HasFault(s.dir, state::Fault::Type::kStationCountZero)) {
                    *count = 0;
                    return rc::kOk;
                }
                *count = 1;
                stations[0] = state::ReadStation(s.dir);
                return rc::kOk;
            },
            [&](std::int16_t r) {
                return R(r, [&] { return "count=" + std::to_string(*count) +
                                (*count > 0 ? " station=" + std::to_string(stations[0]) : ""); });
            });
    });
}

std::int16_t ListTags(Variant v, std::int16_t handle, Station station, std::uint8_t* count,
                      std::uint32_t* typeFlag, std::uint8_t* types, std::uint8_t* lengths,
                      std::uint8_t* serials) {
    return Guard([&]() -> std::int16_t {
        std::string listed;
        return Run(
            handle, v.usb ? "ListTags" : "ListTag", station,
            [&](Session& s) -> std::int16_t {
                if (count == nullptr || types == nullptr || serials == nullptr ||
                    (v.usb ? lengths == nullptr : typeFlag == nullptr)) {
                    return rc::kInvalidParameter;
                }
                // Enumerating the field halts every card: a selection does not survive it.
                s.Deselect();
                const auto cards = state::ListCards(s.dir);
                const int room = v.usb ? acr120::kUsbListMaxTags : acr120::kSerialListMaxTags;
                const int written = std::min<int>(static_cast<int>(cards.size()), room);
                for (int i = 0; i < written; ++i) {
                    const Bytes uid = mifare::UidOf(cards[i].image);
                    types[i] = mifare::TagTypeOfSize(cards[i].image.size());
                    PutSerial(uid, serials + i * kSerialLength);
                    if (lengths != nullptr) {
                        lengths[i] = static_cast<std::uint8_t>(uid.size());
                    }
                    listed += " " + Serial10(uid);
                }
                const int reported = FaultCount(s.dir, state::Fault::Type::kTags);
                *count = static_cast<std::uint8_t>(reported >= 0 ? reported : written);
                if (typeFlag != nullptr) {
                    *typeFlag = HasFault(s.dir, state::Fault::Type::kTypeFlagZero) ? 0 : 1;
                }
                return rc::kOk;
            },
            [&](std::int16_t r) {
                return R(r, [&] { return "count=" + std::to_string(*count) +
                                (typeFlag != nullptr ? " flag=" + std::to_string(*typeFlag) : "") +
                                listed; });
            });
    });
}

std::int16_t Select(Variant, std::int16_t handle, Station station, std::uint8_t* type,
                    std::uint8_t* length, std::uint8_t* serial) {
    return Guard([&]() -> std::int16_t {
        std::string selected;
        return Run(
            handle, "Select", station,
            [&](Session& s) -> std::int16_t {
                if (type == nullptr || length == nullptr || serial == nullptr) {
                    return rc::kInvalidParameter;
                }
                const auto cards = state::ListCards(s.dir);
                if (cards.empty()) {
                    s.Deselect();
                    return rc::kNoCard;
                }
                selected = " serial=" + Serial10(mifare::UidOf(cards.front().image));
                return SelectCard(s, cards.front(), type, length, serial);
            },
            [&](std::int16_t r) { return R(r, [&] { return "type=" + std::to_string(*type) + selected; }); });
    });
}

std::int16_t MultiTagSelect(Variant v, std::int16_t handle, Station station, std::uint8_t length,
                            const std::uint8_t* serial, std::uint8_t* typeOut,
                            std::uint8_t* lengthOut, std::uint8_t* serialOut) {
    return Guard([&]() -> std::int16_t {
        const std::string args = (v.usb ? "length=" + std::to_string(length) + " " : "") +
                                 "serial=" + Hex(serial, kSerialLength);
        return Run(
            handle, "MultiTagSelect", station,
            [&](Session& s) -> std::int16_t {
                if (serial == nullptr || typeOut == nullptr || serialOut == nullptr ||
                    (v.usb && lengthOut == nullptr)) {
                    return rc::kInvalidParameter;
                }
                if (v.usb && length != 4 && length != 7) {
                    return rc::kInvalidParameter;
                }
                s.Deselect();
                for (const auto& card : state::ListCards(s.dir)) {
                    const Bytes uid = mifare::UidOf(card.image);
                    if ((length == 0 || uid.size() == length) &&
                        std::equal(uid.begin(), uid.end(), serial)) {
                        return SelectCard(s, card, typeOut, lengthOut, serialOut);
                    }
                }
                return rc::kNoCard;
            },
            [&](std::int16_t r) {
                return args + R(r, [&] { return " type=" + std::to_string(*typeOut); });
            });
    });
}

std::int16_t WriteMasterKey(Variant, std::int16_t handle, Station station, std::uint8_t slot,
                            const std::uint8_t* key) {
    return Guard([&]() -> std::int16_t {
        return Run(
            handle, "WriteMasterKey", station,
            [&](Session& s) -> std::int16_t {
                if (key == nullptr || slot >= state::kKeySlots) {
                    return rc::kInvalidParameter;
                }
                state::FieldLock lock(s.dir);
                auto keys = state::ReadKeys(s.dir);
                std::copy(key, key + 6, keys.begin() + slot * 6);
                return state::WriteFileAtomic(s.dir / state::kKeysFile, Bytes(keys.begin(), keys.end()))
                           ? rc::kOk
                           : rc::kOperationFailed;
            },
            // Key bytes stay out of the log, which is made to be read and passed around.
            [&](std::int16_t) { return "slot=" + std::to_string(slot); });
    });
}

std::int16_t Login(Variant v, std::int16_t handle, Station station, std::uint8_t sector,
                   std::uint8_t keyMode, std::int32_t slot, const std::uint8_t* key) {
    return Guard([&]() -> std::int16_t {
        return Run(
            handle, "Login", station,
            [&](Session& s) -> std::int16_t {
                namespace sm = acr120::serial_key_mode;
                namespace um = acr120::usb_key_mode;
                bool stored = false;
                Key which = Key::kA;
                if (keyMode == (v.usb ? um::kKeyA : sm::kKeyA)) {
                } else if (keyMode == (v.usb ? um::kKeyB : sm::kKeyB)) {
                    which = Key::kB;
                } else if (keyMode == (v.usb ? um::kStoredKeyA : sm::kStoredKeyA)) {
                    stored = true;
                } else if (keyMode == (v.usb ? um::kStoredKeyB : sm::kStoredKeyB)) {
                    stored = true;
                    which = Key::kB;
                } else {
                    return rc::kInvalidParameter;
                }
                std::array<std::uint8_t, 6> given{};
                if (stored) {
                    if (slot < 0 || slot >= state::kKeySlots) {
                        return rc::kInvalidParameter;
                    }
                    const auto keys = state::ReadKeys(s.dir);
                    std::copy_n(keys.begin() + slot * 6, 6, given.begin());
                } else {
                    if (key == nullptr) {
                        return rc::kInvalidParameter;
                    }
                    std::copy_n(key, 6, given.begin());
                }
                const auto target = mifare::SectorOfLoginArgument(sector);
                if (!target) {
                    return rc::kInvalidParameter;
                }
                auto image = Current(s);
                if (!image) {
                    return rc::kNoCard;
                }
                // From here a failure is the card's: it falls back to idle, and only a
                // new selection wakes it.
                s.authSector.reset();
                auto fail = [&] {
                    s.Deselect();
                    return rc::kLoginFailed;
                };
                if (!IsClassic(*image) || *target >= mifare::SectorCount(image->size())) {
                    return fail();
                }
                auto access = Access(*image, *target);
                if (!access || (which == Key::kB && mifare::KeyBReadable((*access)[3]))) {
                    return fail();
                }
                const std::uint8_t* trailer = image->data() + mifare::TrailerOfSector(*target) * 16;
                if (!std::equal(given.begin(), given.end(), trailer + (which == Key::kA ? 0 : 10))) {
                    return fail();
                }
                s.authSector = *target;
                s.authKey = which;
                return rc::kOk;
            },
            [&](std::int16_t) {
                return "sector=" + std::to_string(sector) + " mode=" + std::to_string(keyMode) +
                       " slot=" + std::to_string(slot);
            });
    });
}

std::int16_t Read(Variant, std::int16_t handle, Station station, std::uint8_t block,
                  std::uint8_t* data) {
    return Guard([&]() -> std::int16_t {
        return Run(
            handle, "Read", station,
            [&](Session& s) -> std::int16_t {
                if (data == nullptr) {
                    return rc::kInvalidParameter;
                }
                auto image = Current(s);
                if (!image) {
                    return rc::kNoCard;
                }
                if (!IsClassic(*image)) {
                    // The 7-byte tag answers four pages from `block` on, wrapping round.
                    if (block >= image->size() / mifare::kPageSize) {
                        return rc::kInvalidParameter;
                    }
                    for (int i = 0; i < 16; ++i) {
                        data[i] = (*image)[(block * mifare::kPageSize + i) % image->size()];
                    }
                    return rc::kOk;
                }
                int condition = 0;
                if (auto r = Reach(s, *image, block, &condition); r != rc::kOk) {
                    return r;
                }
                const std::uint8_t* source = image->data() + block * 16;
                if (!mifare::IsTrailer(block)) {
                    if (!mifare::DataRead(condition, s.authKey)) {
                        return rc::kNotAuthorized;
                    }
                    std::memcpy(data, source, 16);
                    return rc::kOk;
                }
                // Key A never leaves the card; key B only where it is readable.
                std::memset(data, 0, 16);
                if (mifare::TrailerAccessRead(condition, s.authKey)) {
                    std::memcpy(data + 6, source + 6, 4);
                }
                if (mifare::TrailerKeyBRead(condition, s.authKey)) {
                    std::memcpy(data + 10, source + 10, 6);
                }
                return rc::kOk;
            },
            [&](std::int16_t r) {
                return "block=" + std::to_string(block) + R(r, [&] { return " data=" + Hex(data, 16); });
            });
    });
}

std::int16_t Write(Variant v, std::int16_t handle, Station station, std::uint8_t block,
                   const std::uint8_t* data) {
    return Guard([&]() -> std::int16_t {
        return Run(
            handle, "Write", station,
            [&](Session& s) -> std::int16_t {
                if (data == nullptr) {
                    return rc::kInvalidParameter;
                }
                auto image = Current(s);
                if (!image) {
                    return rc::kNoCard;
                }
                if (!IsClassic(*image)) {
                    // Pages 0-3 hold the UID, the lock bytes and the OTP bytes.
                    if (block >= image->size() / mifare::kPageSize) {
                        return rc::kInvalidParameter;
                    }
                    if (block < 4) {
                        return rc::kNotAuthorized;
                    }
                    std::memcpy(image->data() + block * mifare::kPageSize, data, mifare::kPageSize);
                    return Store(s, *image);
                }
                int condition = 0;
                if (auto r = Reach(s, *image, block, &condition); r != rc::kOk) {
                    return r;
                }
                std::uint8_t* target = image->data() + block * 16;
                if (block == 0) {
                    return rc::kNotAuthorized;  // the manufacturer block is read-only
                }
                if (!mifare::IsTrailer(block)) {
                    if (!mifare::DataWrite(condition, s.authKey)) {
                        return rc::kNotAuthorized;
                    }
                    std::memcpy(target, data, 16);
                    return Store(s, *image);
                }
                // A trailer write changes the parts the key may write and keeps the rest.
                const bool keyA = mifare::TrailerKeyAWrite(condition, s.authKey);
                const bool access = mifare::TrailerAccessWrite(condition, s.authKey);
                const bool keyB = mifare::TrailerKeyBWrite(condition, s.authKey);
                if (!keyA && !access && !keyB) {
                    return rc::kNotAuthorized;
                }
                if (keyA) {
                    std::memcpy(target, data, 6);
                }
                if (access) {
                    std::memcpy(target + 6, data + 6, 4);
                }
                if (keyB) {
                    std::memcpy(target + 10, data + 10, 6);
                }
                if (auto r = Store(s, *image); r != rc::kOk) {
                    return r;
                }
                // The reader reads the block back to verify, meets the blanked key A and
                // reports a failure, though the card took the write.
                return v.usb ? rc::kUnknownReaderError : rc::kReadFailAfterOperation;
            },
            [&](std::int16_t) {
                // A trailer carries keys, which stay out of the log (see WriteMasterKey);
                // the access bytes show.
                std::string text = Hex(data, 16);
                if (data != nullptr && mifare::IsTrailer(block)) {
                    text = std::string(12, '*') + text.substr(12, 8) + std::string(12, '*');
                }
                return "block=" + std::to_string(block) + " data=" + text;
            });
    });
}

namespace {
// Common checks of the value operations; gives the block's condition.
std::int16_t ReachValue(Session& s, std::optional<Bytes>& image, int block, int* condition) {
    image = Current(s);
    if (!image) {
        return rc::kNoCard;
    }
    if (!IsClassic(*image)) {
        return rc::kOperationFailed;  // the 7-byte tag knows no value blocks
    }
    if (auto r = Reach(s, *image, block, condition); r != rc::kOk) {
        return r;
    }
    return mifare::IsTrailer(block) || block == 0 ? rc::kNotAuthorized : rc::kOk;
}
}  // namespace

std::int16_t ReadValue(Variant, std::int16_t handle, Station station, std::uint8_t block,
                       std::int32_t* value) {
    return Guard([&]() -> std::int16_t {
        return Run(
            handle, "ReadValue", station,
            [&](Session& s) -> std::int16_t {
                if (value == nullptr) {
                    return rc::kInvalidParameter;
                }
                std::optional<Bytes> image;
                int condition = 0;
                if (auto r = ReachValue(s, image, block, &condition); r != rc::kOk) {
                    return r;
                }
                if (!mifare::DataRead(condition, s.authKey)) {
                    return rc::kNotAuthorized;
                }
                auto decoded = mifare::DecodeValue(std::span(*image).subspan(block * 16, 16));
                if (!decoded) {
                    return rc::kInvalidValueBlock;
                }
                *value = *decoded;
                return rc::kOk;
            },
            [&](std::int16_t r) {
                return "block=" + std::to_string(block) + R(r, [&] { return " value=" + std::to_string(*value); });
            });
    });
}

std::int16_t WriteValue(Variant, std::int16_t handle, Station station, std::uint8_t block,
                        std::int32_t value) {
    return Guard([&]() -> std::int16_t {
        return Run(
            handle, "WriteValue", station,
            [&](Session& s) -> std::int16_t {
                std::optional<Bytes> image;
                int condition = 0;
                if (auto r = ReachValue(s, image, block, &condition); r != rc::kOk) {
                    return r;
                }
                if (!mifare::DataWrite(condition, s.authKey)) {
                    return rc::kNotAuthorized;
                }
                mifare::EncodeValue(value, block, std::span(*image).subspan(block * 16, 16));
                return Store(s, *image);
            },
            [&](std::int16_t) {
                return "block=" + std::to_string(block) + " value=" + std::to_string(value);
            });
    });
}

std::int16_t Increment(Variant, std::int16_t handle, Station station, std::uint8_t block,
                       std::int32_t amount, std::int32_t* newValue, bool up) {
    return Guard([&]() -> std::int16_t {
        return Run(
            handle, up ? "Inc" : "Dec", station,
            [&](Session& s) -> std::int16_t {
                if (amount < 0 || newValue == nullptr) {
                    return rc::kInvalidParameter;
                }
                std::optional<Bytes> image;
                int condition = 0;
                if (auto r = ReachValue(s, image, block, &condition); r != rc::kOk) {
                    return r;
                }
                if (!(up ? mifare::DataIncrement(condition, s.authKey)
                         : mifare::DataDecrement(condition, s.authKey))) {
                    return rc::kNotAuthorized;
                }
                const auto span = std::span(*image).subspan(block * 16, 16);
                auto value = mifare::DecodeValue(span);
                if (!value) {
                    return rc::kValueBlockFormat;
                }
                const std::int64_t next = static_cast<std::int64_t>(*value) + (up ? amount : -amount);
                if (up && next > std::numeric_limits<std::int32_t>::max()) {
                    return rc::kIncrementOverflow;
                }
                if (!up && next < 0) {
                    return rc::kDecrementFailure;
                }
                mifare::EncodeValue(static_cast<std::int32_t>(next), span[12], span);
                if (auto r = Store(s, *image); r != rc::kOk) {
                    return r;
                }
                *newValue = static_cast<std::int32_t>(next);
                return rc::kOk;
            },
            [&](std::int16_t r) {
                return "block=" + std::to_string(block) + " amount=" + std::to_string(amount) +
                       R(r, [&] { return " value=" + std::to_string(*newValue); });
            });
    });
}

std::int16_t ReadEeprom(Variant, std::int16_t handle, Station station, std::uint8_t reg,
                        std::uint8_t* value) {
    return Guard([&]() -> std::int16_t {
        return Run(
            handle, "ReadEEPROM", station,
            [&](Session& s) -> std::int16_t {
                if (value == nullptr) {
                    return rc::kInvalidParameter;
                }
                *value = state::ReadEeprom(s.dir)[reg];
                return rc::kOk;
            },
            [&](std::int16_t r) {
                return "reg=" + std::to_string(reg) + R(r, [&] { return " value=" + std::to_string(*value); });
            });
    });
}

std::int16_t WriteEeprom(Variant, std::int16_t handle, Station station, std::uint8_t reg,
                         std::uint8_t value) {
    return Guard([&]() -> std::int16_t {
        return Run(
            handle, "WriteEEPROM", station,
            [&](Session& s) -> std::int16_t {
                state::FieldLock lock(s.dir);
                auto regs = state::ReadEeprom(s.dir);
                regs[reg] = value;
                return state::WriteFileAtomic(s.dir / state::kEepromFile, Bytes(regs.begin(), regs.end()))
                           ? rc::kOk
                           : rc::kOperationFailed;
            },
            [&](std::int16_t) {
                return "reg=" + std::to_string(reg) + " value=" + std::to_string(value);
            });
    });
}

}  // namespace vreader::lib
