#pragma once
// The reader connection: loads both reader libraries, remembers which reader the
// user chose, opens and closes it through a reader port of its kind, owns the
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
#include "reader/presence_monitor.h"
#include "reader/reader_lock.h"
#include "reader/reader_port.h"

class IMessagePoster;

inline constexpr std::uint8_t kKeyTypeA = 0x60;
inline constexpr std::uint8_t kKeyTypeB = 0x61;
inline constexpr int kKeyIndexCount = 16;
inline constexpr int kKeySlotCount = 32;

// The key cache holds key A and key B of each key index side by side.
inline constexpr std::uint8_t KeySlot(std::uint8_t keyIndex, std::uint8_t keyType) {
    return static_cast<std::uint8_t>(keyIndex * 2 + (keyType == kKeyTypeB ? 1 : 0));
}

using MifareKey = std::array<std::uint8_t, 6>;

// How long Disconnect, Connect and StartMonitor let the monitor finish its
// listing before ending it by force.
inline constexpr std::uint32_t kMonitorStopTimeoutMs = 60000;

// When the reader libraries are loaded: both at construction, as the window
// needs (a missing one ends the program before the window shows), or each by the
// first Connect to a reader of its kind, for a program that opens one reader and
// needs no other library (the command-line tool).
enum class LibraryLoading { kBothAtConstruction, kOnConnect };

class CACR120Base {
public:
    // Loads the libraries from the program's own folder.
    explicit CACR120Base(PresenceMonitorFactory makeMonitor);
    // Loads the libraries from the folder of `module` (tests point it elsewhere).
    CACR120Base(const platform::ModuleRef& module, PresenceMonitorFactory makeMonitor,
                LibraryLoading loading = LibraryLoading::kBothAtConstruction);
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
    // Starts the presence monitor posting `message` to `window`. A monitor that
    // cannot start closes the reader and fails with the system's reason: a
    // connection that never hears of a card is no connection.
    void StartMonitor(IMessagePoster* window, std::uint32_t message);
    // Stores a key in the key cache (toReader false) or the reader's key store.
    void StoreKey(bool toReader, std::uint8_t keyType, std::uint8_t keyIndex,
                  const std::uint8_t* key);

    // Observers, for the card layer, the monitor and tests.
    const std::u16string& ReaderName() const { return readerName_; }
    PortKind GetPortKind() const { return portKind_; }
    bool IsConnected() const { return connected_; }
    // Written by the window's thread under the reader lock; the monitor reads it
    // under that lock, the window's thread at any time.
    bool IsCardConnected() const { return cardConnected_; }
    // The opened reader; null while not connected.
    IReaderPort* Port() const { return port_.get(); }
    std::int16_t ReaderHandle() const { return port_ ? port_->Handle() : -1; }
    std::uint8_t Station() const { return port_ ? port_->Station() : 0; }
    ReaderLock& GetReaderLock() { return *readerLock_; }
    // The card the last selection chose; kept after DisconnectCard, so a caller
    // can name the card a finished (or failed) sequence worked on.
    const SelectedTag& SelectedCard() const { return card_; }

    // True once a monitor thread in this process could not be ended and was left
    // running. The program then ends without tearing down what that thread may
    // still be inside (the reader library, the runtime's globals).
    static bool AnyMonitorLeftRunning();

protected:
    // Declared before what uses them, so that the implicit destruction runs from
    // the users to the used: the port (a handle of a library) and the monitor (which
    // takes the lock and calls the port) go before the lock and the libraries. The
    // destructor also resets them in that order by hand, for the monitor left running.
    std::vector<std::uint8_t> readBuffer_;
    std::unique_ptr<CACR120Dll> serialDll_;
    std::unique_ptr<CACR120UDll> usbDll_;
    std::unique_ptr<ReaderLock> readerLock_;
    std::unique_ptr<IPresenceMonitor> monitor_;
    std::u16string readerName_;
    std::int16_t openOption_ = 0;
    PortKind portKind_ = PortKind::None;
    bool connected_ = false;
    std::unique_ptr<IReaderPort> port_;
    bool cardConnected_ = false;  // written under the reader lock
    SelectedTag card_;
    std::array<MifareKey, kKeySlotCount> keyCache_{};
    // Tests shorten it to prove that a hung listing cannot hang the window.
    std::uint32_t monitorStopTimeoutMs_ = kMonitorStopTimeoutMs;

private:
    // Stops the monitor. One whose thread could not be ended is left to that
    // thread, with the lock and the port it may be using, and a fresh monitor and
    // lock take their place; the reader stays open under the thread's call.
    void StopMonitor();
    // Each fails with "library missing" when its file cannot be loaded.
    void LoadSerialLibrary();
    void LoadUsbLibrary();

    PresenceMonitorFactory makeMonitor_;
    platform::ModuleRef module_;
    // The libraries stay loaded while a thread left running may be inside them.
    bool monitorLeftRunning_ = false;
    // A monitor was ended by force, perhaps inside a library call.
    bool librariesCutOff_ = false;
};
