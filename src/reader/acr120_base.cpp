#include "reader/acr120_base.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <mutex>
#include <new>
#include <vector>

#include "ascii/reader_name.h"
#include "errors/atl_exception.h"
#include "errors/coded_exception.h"
#include "errors/system_exception.h"
#include "platform/last_error.h"
#include "reader/acr120_trace.h"
#include "reader/reader_error.h"

namespace {

[[noreturn]] void Fail(std::int32_t code) {
    throw CCodedException(code, kSourceReaderBase);
}

std::atomic<bool> gMonitorLeftRunning{false};

// What a thread that could not be ended may still use is never freed, not even
// at exit. Reachable from here, so leak checkers do not count it as lost.
template <typename T>
void KeepForever(std::unique_ptr<T> object) {
    static std::mutex mutex;
    static auto* kept = new std::vector<std::shared_ptr<void>>();
    std::lock_guard<std::mutex> hold(mutex);
    kept->push_back(std::shared_ptr<T>(std::move(object)));
}

}  // namespace

bool CACR120Base::AnyMonitorLeftRunning() {
    return gMonitorLeftRunning;
}

void CACR120Base::StopMonitor() {
    monitor_->Stop(monitorStopTimeoutMs_);
    // A library call cut off by force may have left the library's own locks taken
    // and its state half made; unloading it would run its detach code over that
    // (and Wine then refuses to load reader libraries again). It stays loaded.
    librariesCutOff_ = librariesCutOff_ || monitor_->EndedByForce();
    if (!monitor_->Abandoned()) {
        return;
    }
    gMonitorLeftRunning = true;
    monitorLeftRunning_ = true;
    KeepForever(std::move(monitor_));
    KeepForever(std::move(readerLock_));
    // The thread may be inside a call on this port; closing it under the call
    // is not safe with every library, so the reader stays occupied.
    KeepForever(std::move(port_));
    connected_ = false;
    cardConnected_ = false;
    readerLock_ = MakeReaderLock();
    monitor_ = makeMonitor_(*this);
}

CACR120Base::CACR120Base(PresenceMonitorFactory makeMonitor)
    : CACR120Base(platform::ProgramModule(), makeMonitor) {}

CACR120Base::CACR120Base(const platform::ModuleRef& module, PresenceMonitorFactory makeMonitor,
                         LibraryLoading loading)
    : makeMonitor_(makeMonitor), module_(module) {
    readerLock_ = MakeReaderLock();
    SetReaderName(nullptr);
    monitor_ = makeMonitor(*this);

    if (loading == LibraryLoading::kBothAtConstruction) {
        LoadSerialLibrary();
        LoadUsbLibrary();
    }
}

void CACR120Base::LoadSerialLibrary() {
    auto serial = std::make_unique<CACR120Dll>();
    serial->traceFileName = reader_trace::TraceFileNameFromEnvironment();
    if (!serial->Load(module_)) {
        Fail(kErrLibraryMissing);
    }
    serialDll_ = std::move(serial);
}

void CACR120Base::LoadUsbLibrary() {
    auto usb = std::make_unique<CACR120UDll>();
    if (!usb->Load(module_)) {
        Fail(kErrLibraryMissing);
    }
    usbDll_ = std::move(usb);
}

CACR120Base::~CACR120Base() {
    Disconnect();
    // The monitor refers to the lock and the bindings, so it goes first, and the
    // libraries are unloaded only once nothing can call into them.
    monitor_.reset();
    readerLock_.reset();
    if (monitorLeftRunning_ || librariesCutOff_) {
        KeepForever(std::move(usbDll_));
        KeepForever(std::move(serialDll_));
    }
    usbDll_.reset();
    serialDll_.reset();
}

void CACR120Base::SetReaderName(const char16_t* name) {
    if (connected_) {
        Fail(kErrReaderConnected);
    }
    readerName_ = name != nullptr ? name : u"";
    const auto parsed = ascii::ParseReaderName(readerName_);
    if (!parsed) {
        portKind_ = PortKind::None;
    } else {
        portKind_ = parsed->kind == ascii::ReaderKind::Usb ? PortKind::Usb : PortKind::Serial;
    }
}

void CACR120Base::Connect() {
    Disconnect();
    if (readerName_.empty()) {
        Fail(kErrReaderNameNotSet);
    }
    // Only the name of a known kind has a port number: 0 for COM1 or USB1.
    const auto parsed = ascii::ParseReaderName(readerName_);
    const auto portIndex = static_cast<std::int16_t>(parsed ? parsed->number - 1 : -1);
    if (portKind_ == PortKind::Serial && serialDll_ == nullptr) {
        LoadSerialLibrary();
    } else if (portKind_ == PortKind::Usb && usbDll_ == nullptr) {
        LoadUsbLibrary();
    }
    port_ = OpenReaderPort(portKind_, portIndex, openOption_, serialDll_.get(), usbDll_.get());
    connected_ = true;
}

void CACR120Base::Disconnect() {
    // Before the handle is touched, and without the reader lock: the monitor
    // takes that lock for each listing and would otherwise be waited for by
    // the thread it waits for.
    StopMonitor();
    if (!connected_) {
        return;
    }
    {
        ReaderLockHolder hold(*readerLock_);
        cardConnected_ = false;
    }
    port_->Close();
    port_.reset();
    connected_ = false;
}

void CACR120Base::StartMonitor(IMessagePoster* window, std::uint32_t message) {
    StopMonitor();
    if (!connected_) {
        Fail(kErrReaderNotConnected);
    }
    monitor_->SetTarget(window, message);
    if (!monitor_->Start()) {
        const std::uint32_t error = platform::GetLastErrorValue();
        Disconnect();
        throw CSystemException(HResultFromWin32(error), kSourceReaderBase);
    }
}

void CACR120Base::StoreKey(bool toReader, std::uint8_t keyType, std::uint8_t keyIndex,
                           const std::uint8_t* key) {
    if (!connected_) {
        Fail(kErrReaderNotConnected);
    }
    if ((keyType != kKeyTypeA && keyType != kKeyTypeB) || keyIndex >= kKeyIndexCount ||
        key == nullptr) {
        Fail(kErrInvalidParameter);
    }
    const std::uint8_t slot = KeySlot(keyIndex, keyType);
    MifareKey copy{};
    std::copy_n(key, copy.size(), copy.begin());
    if (!toReader) {
        keyCache_[slot] = copy;
        return;
    }
    ReaderLockHolder hold(*readerLock_);
    CheckReaderResult(port_->StoreReaderKey(slot, copy.data()));
}
