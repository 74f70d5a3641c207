#pragma once
// The reader connection: loads both reader libraries, remembers which reader the
// user chose, opens and closes it through the library of its kind, owns the
// reader lock shared with the presence monitor, owns the monitor, and keeps a
// cache of Mifare keys for card login. Card selection (ConnectCard /
// DisconnectCard) lives in card_selection.cpp.

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/library.h"
#include "reader/acr120_dll.h"
#include "reader/acr120u_dll.h"

class CMonThread;
class IMessagePoster;

enum class PortKind : std::int32_t { None = 0, Serial = 1, Usb = 2 };

// Card types derived from the library's tag type.
inline constexpr std::uint16_t kCardTypeUnknown = 0;
inline constexpr std::uint16_t kCardTypeMifare1K = 1;
inline constexpr std::uint16_t kCardTypeMifare4K = 2;
inline constexpr std::uint16_t kCardTypeSevenByteUid = 3;

inline constexpr std::uint8_t kKeyTypeA = 0x60;
inline constexpr std::uint8_t kKeyTypeB = 0x61;
inline constexpr int kKeyIndexCount = 16;
inline constexpr int kKeySlotCount = 32;

using MifareKey = std::array<std::uint8_t, 6>;

// The card type for a tag type the library reports (unknown codes give 0).
std::uint16_t CardTypeFromTagType(std::uint8_t tagType);

// How long Disconnect, Connect and StartMonitor let the monitor finish its
// listing before ending it by force.
inline constexpr std::uint32_t kMonitorStopTimeoutMs = 60000;

// The reader lock. Held only through ReaderLockHolder, so that an error, or the
// unwinding of a monitor thread ended by force, always releases it.
using ReaderLock = std::mutex;
using ReaderLockHolder = std::lock_guard<ReaderLock>;

class CACR120Base {
public:
    // Loads the libraries from the program's own folder.
    CACR120Base();
    // Loads the libraries from the folder of `module` (tests point it elsewhere).
    explicit CACR120Base(const platform::ModuleRef& module);
    virtual ~CACR120Base();
    CACR120Base(const CACR120Base&) = delete;
    CACR120Base& operator=(const CACR120Base&) = delete;

    // Selects the first tag in the field and records its type and serial number.
    virtual void ConnectCard();
    // Gives the card back to the monitor. Never fails.
    void DisconnectCard();

    void SetReaderName(const char16_t* name);
    void Connect();
    void Disconnect();
    // Starts the presence monitor posting `message` to `window`; returns the
    // start result (the window does not look at it).
    bool StartMonitor(IMessagePoster* window, std::uint32_t message);
    // Stores a key in the key cache (toReader false) or the reader's key store.
    void StoreKey(bool toReader, std::uint8_t keyType, std::uint8_t keyIndex,
                  const std::uint8_t* key);

    // Observers, for the card layer, the monitor and tests.
    const std::u16string& ReaderName() const { return readerName_; }
    PortKind GetPortKind() const { return portKind_; }
    bool IsConnected() const { return connected_; }
    bool IsCardConnected() const;
    std::int16_t ReaderHandle() const { return readerHandle_; }
    std::uint8_t Station() const { return station_; }
    // Exposed so tests can prove that the lock is free after a failure.
    ReaderLock& GetReaderLock() { return *readerLock_; }

protected:
    // Fields in the order of the original design.
    std::vector<std::uint8_t> readBuffer_;
    std::unique_ptr<CACR120Dll> serialDll_;
    std::unique_ptr<CACR120UDll> usbDll_;
    std::unique_ptr<ReaderLock> readerLock_;
    std::unique_ptr<CMonThread> monitor_;
    std::u16string readerName_;
    std::int16_t openOption_ = 0;
    PortKind portKind_ = PortKind::None;
    bool connected_ = false;
    std::int16_t readerHandle_ = -1;
    std::uint8_t station_ = 0;
    bool cardConnected_ = false;  // guarded by the reader lock
    std::uint16_t cardType_ = kCardTypeUnknown;
    std::array<std::uint8_t, 10> serialNumber_{};
    std::uint8_t serialNumberLength_ = 0;
    std::uint8_t tagType_ = 0;
    std::array<MifareKey, kKeySlotCount> keyCache_{};
    // Tests shorten it to prove that a hung listing cannot hang the window.
    std::uint32_t monitorStopTimeoutMs_ = kMonitorStopTimeoutMs;

    friend class CMonThread;
};
