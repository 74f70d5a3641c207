// The operations on the reader itself: opening and closing it, its station, listing and
// selecting the cards in its field, its key slots and its EEPROM registers.

#include <algorithm>
#include <cerrno>
#include <memory>
#include <string>

#include "ascii/reader_name.h"
#include "core/mifare.h"
#include "core/state.h"
#include "lib/call_runner.h"
#include "lib/fault_engine.h"
#include "lib/handle_table.h"
#include "lib/operations.h"
#include "lib/selected_card.h"
#include "lib/serial_number.h"
#include "reader/acr120_api.h"

namespace vreader::lib {

namespace fs = std::filesystem;
namespace rc = acr120::rc;
using card_model::Bytes;
using FaultType = state::Fault::Type;

namespace {

constexpr int kPortCount = ascii::kMaxReaderNumber;
constexpr std::size_t kFourByteUid = 4;
constexpr std::size_t kSevenByteUid = 7;

fs::path ReaderDir(const fs::path& stateDir, Variant variant, std::int16_t portIndex) {
    const ascii::ReaderKind kind = variant.usb ? ascii::ReaderKind::Usb : ascii::ReaderKind::Serial;
    return state::ReaderFolder(stateDir, ascii::ReaderNameText({kind, portIndex + 1}));
}

}  // namespace

std::int16_t ListPorts(Variant variant, std::uint8_t* portIndexes, std::uint8_t room) {
    return GuardCBoundary([&]() -> std::int16_t {
        if (portIndexes == nullptr && room != 0) {
            return rc::kInvalidParameter;
        }
        const fs::path stateDir = state::StateDir();
        if (stateDir.empty()) {
            return std::int16_t{0};
        }
        std::int16_t count = 0;
        for (std::int16_t port = 0; port < kPortCount; ++port) {
            std::error_code error;
            if (!fs::is_directory(ReaderDir(stateDir, variant, port), error)) {
                continue;
            }
            if (count < room) {
                portIndexes[count] = static_cast<std::uint8_t>(port);
            }
            ++count;
        }
        return count;
    });
}

std::int16_t Open(Variant variant, std::int16_t portIndex) {
    return GuardCBoundary([&]() -> std::int16_t {
        if (portIndex < 0 || portIndex >= kPortCount) {
            return rc::kInvalidPort;
        }
        const fs::path stateDir = state::StateDir();
        const fs::path readerDir = ReaderDir(stateDir, variant, portIndex);
        std::error_code error;
        if (stateDir.empty() || !fs::is_directory(readerDir, error)) {
            return rc::kInvalidPort;
        }
        const std::string arguments = "port=" + std::to_string(portIndex);
        const CallPlan plan = CountDownFaults(readerDir, "Open");
        DelayCall(readerDir, "Open", arguments);
        auto finish = [&](std::int16_t result) {
            state::AppendCallLog(readerDir, "Open " + arguments + " -> " + std::to_string(result));
            return result;
        };
        if (plan.failWith) {
            return finish(*plan.failWith);
        }
        auto session = std::make_shared<ReaderSession>();
        session->readerDir = readerDir;
        session->stateDir = stateDir;
        session->openLock =
            std::make_unique<files::FileLock>(readerDir / state::kOpenLockFile, false);
        if (!session->openLock->Locked()) {
            return finish(session->openLock->Busy() ? rc::kPortOccupied : rc::kInternalError);
        }
        return finish(AddSession(std::move(session)));
    });
}

std::int16_t Close(Variant, std::int16_t handle) {
    return GuardCBoundary([&]() -> std::int16_t {
        if (!FindSession(handle)) {
            return rc::kInvalidHandle;
        }
        const std::int16_t result = RunCall(
            handle, "Close", std::nullopt, [](ReaderSession&) { return rc::kOk; },
            [](std::int16_t) { return std::string(); });
        if (result == rc::kOk) {
            RemoveSession(handle);
        }
        return result;
    });
}

std::int16_t GetId(Variant, std::int16_t handle, std::uint8_t* count, std::uint8_t* stations) {
    return GuardedCall(
        handle, "GetID", std::nullopt,
        [&](ReaderSession& session) -> std::int16_t {
            if (count == nullptr || stations == nullptr) {
                return rc::kInvalidParameter;
            }
            if (HasFault(session.readerDir, FaultType::kStationCountZero)) {
                *count = 0;
                return rc::kOk;
            }
            *count = 1;
            stations[0] = state::ReadStation(session.readerDir);
            return rc::kOk;
        },
        [&](std::int16_t result) {
            return OutputsIfOk(result, [&] {
                return "count=" + std::to_string(*count) +
                       (*count > 0 ? " station=" + std::to_string(stations[0]) : "");
            });
        });
}

std::int16_t ListTags(Variant variant, std::int16_t handle, Station station, std::uint8_t* count,
                      std::uint32_t* typeFlag, std::uint8_t* types, std::uint8_t* lengths,
                      std::uint8_t* serials) {
    return GuardCBoundary([&]() -> std::int16_t {
        std::string listedSerials;
        return RunCall(
            handle, variant.usb ? "ListTags" : "ListTag", station,
            [&](ReaderSession& session) -> std::int16_t {
                if (count == nullptr || types == nullptr || serials == nullptr ||
                    (variant.usb ? lengths == nullptr : typeFlag == nullptr)) {
                    return rc::kInvalidParameter;
                }
                // Enumerating the field halts every card: a selection does not survive it.
                session.Deselect();
                const auto cards = state::ListCards(session.readerDir);
                const int room = variant.usb ? acr120::kUsbListMaxTags : acr120::kSerialListMaxTags;
                const int written = std::min<int>(static_cast<int>(cards.size()), room);
                for (int i = 0; i < written; ++i) {
                    const Bytes uid = card_model::UidOf(cards[i].image);
                    types[i] = card_model::TagTypeOfSize(cards[i].image.size());
                    PutSerialNumber(uid, serials + i * kSerialNumberSize);
                    if (lengths != nullptr) {
                        lengths[i] = static_cast<std::uint8_t>(uid.size());
                    }
                    listedSerials += " " + SerialNumberHex(uid);
                }
                const int reported = FaultCount(session.readerDir, FaultType::kTags);
                *count = static_cast<std::uint8_t>(reported >= 0 ? reported : written);
                if (typeFlag != nullptr) {
                    *typeFlag = HasFault(session.readerDir, FaultType::kTypeFlagZero) ? 0 : 1;
                }
                return rc::kOk;
            },
            [&](std::int16_t result) {
                return OutputsIfOk(result, [&] {
                    return "count=" + std::to_string(*count) +
                           (typeFlag != nullptr ? " flag=" + std::to_string(*typeFlag) : "") +
                           listedSerials;
                });
            });
    });
}

std::int16_t Select(Variant, std::int16_t handle, Station station, std::uint8_t* type,
                    std::uint8_t* length, std::uint8_t* serial) {
    return GuardCBoundary([&]() -> std::int16_t {
        std::string selectedSerial;
        return RunCall(
            handle, "Select", station,
            [&](ReaderSession& session) -> std::int16_t {
                if (type == nullptr || length == nullptr || serial == nullptr) {
                    return rc::kInvalidParameter;
                }
                const auto cards = state::ListCards(session.readerDir);
                if (cards.empty()) {
                    session.Deselect();
                    return rc::kNoCard;
                }
                selectedSerial =
                    " serial=" + SerialNumberHex(card_model::UidOf(cards.front().image));
                return SelectCard(session, cards.front(), type, length, serial);
            },
            [&](std::int16_t result) {
                return OutputsIfOk(
                    result, [&] { return "type=" + std::to_string(*type) + selectedSerial; });
            });
    });
}

std::int16_t MultiTagSelect(Variant variant, std::int16_t handle, Station station,
                            std::uint8_t length, const std::uint8_t* serial, std::uint8_t* typeOut,
                            std::uint8_t* lengthOut, std::uint8_t* serialOut) {
    return GuardCBoundary([&]() -> std::int16_t {
        const std::string arguments =
            (variant.usb ? "length=" + std::to_string(length) + " " : "") +
            "serial=" + HexOrNull(serial, kSerialNumberSize);
        return RunCall(
            handle, "MultiTagSelect", station,
            [&](ReaderSession& session) -> std::int16_t {
                if (serial == nullptr || typeOut == nullptr || serialOut == nullptr ||
                    (variant.usb && lengthOut == nullptr)) {
                    return rc::kInvalidParameter;
                }
                if (variant.usb && length != kFourByteUid && length != kSevenByteUid) {
                    return rc::kInvalidParameter;
                }
                session.Deselect();
                for (const auto& card : state::ListCards(session.readerDir)) {
                    const Bytes uid = card_model::UidOf(card.image);
                    if ((length == 0 || uid.size() == length) &&
                        std::equal(uid.begin(), uid.end(), serial)) {
                        return SelectCard(session, card, typeOut, lengthOut, serialOut);
                    }
                }
                return rc::kNoCard;
            },
            [&](std::int16_t result) {
                return arguments +
                       OutputsIfOk(result, [&] { return " type=" + std::to_string(*typeOut); });
            });
    });
}

std::int16_t WriteMasterKey(Variant, std::int16_t handle, Station station, std::uint8_t slot,
                            const std::uint8_t* key) {
    return GuardedCall(
        handle, "WriteMasterKey", station,
        [&](ReaderSession& session) -> std::int16_t {
            if (key == nullptr || slot >= state::kKeySlots) {
                return rc::kInvalidParameter;
            }
            state::FieldLock lock(session.readerDir);
            auto keys = state::ReadKeys(session.readerDir);
            std::copy(key, key + card_model::kKeySize, keys.begin() + slot * card_model::kKeySize);
            return state::WriteFileAtomic(session.readerDir / state::kKeysFile,
                                          Bytes(keys.begin(), keys.end()))
                       ? rc::kOk
                       : rc::kOperationFailed;
        },
        // Key bytes stay out of the log, which is made to be read and passed around.
        [&](std::int16_t) { return "slot=" + std::to_string(slot); });
}

std::int16_t ReadEeprom(Variant, std::int16_t handle, Station station, std::uint8_t reg,
                        std::uint8_t* value) {
    return GuardedCall(
        handle, "ReadEEPROM", station,
        [&](ReaderSession& session) -> std::int16_t {
            if (value == nullptr) {
                return rc::kInvalidParameter;
            }
            *value = state::ReadEeprom(session.readerDir)[reg];
            return rc::kOk;
        },
        [&](std::int16_t result) {
            return "reg=" + std::to_string(reg) +
                   OutputsIfOk(result, [&] { return " value=" + std::to_string(*value); });
        });
}

std::int16_t WriteEeprom(Variant, std::int16_t handle, Station station, std::uint8_t reg,
                         std::uint8_t value) {
    return GuardedCall(
        handle, "WriteEEPROM", station,
        [&](ReaderSession& session) -> std::int16_t {
            state::FieldLock lock(session.readerDir);
            auto registers = state::ReadEeprom(session.readerDir);
            registers[reg] = value;
            return state::WriteFileAtomic(session.readerDir / state::kEepromFile,
                                          Bytes(registers.begin(), registers.end()))
                       ? rc::kOk
                       : rc::kOperationFailed;
        },
        [&](std::int16_t) {
            return "reg=" + std::to_string(reg) + " value=" + std::to_string(value);
        });
}

}  // namespace vreader::lib
