#pragma once
// Shared by the connection, selection and monitor tests: a connection whose
// inner state can be looked at, a window stand-in that records messages, and a
// fixture that runs a test over both reader libraries.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "control/virtual_field.h"
#include "errors/coded_exception.h"
#include "monitor/message_poster.h"
#include "monitor/mon_thread.h"
#include "reader/acr120_base.h"
#include "reader/reader_error.h"

using namespace std::chrono_literals;
using WParams = std::vector<std::uintptr_t>;

class ProbeConnection : public CACR120Base {
public:
    explicit ProbeConnection(PresenceMonitorFactory makeMonitor = &CMonThread::Create)
        : CACR120Base(makeMonitor) {}

    std::uint16_t CardType() const { return card_.cardType; }
    std::uint8_t TagType() const { return card_.tagType; }
    std::uint8_t SerialLength() const { return card_.serialNumberLength; }
    vreader::Bytes Serial() const { return {card_.serialNumber.begin(), card_.serialNumber.end()}; }
    const MifareKey& CachedKey(int slot) const { return keyCache_[static_cast<std::size_t>(slot)]; }
    CMonThread& Monitor() { return static_cast<CMonThread&>(*monitor_); }
    CACR120Dll& SerialLibrary() { return *serialDll_; }
    CACR120UDll& UsbLibrary() { return *usbDll_; }
    void SetMonitorStopTimeout(std::uint32_t ms) { monitorStopTimeoutMs_ = ms; }
    bool ReaderLockIsFree() {
        return std::unique_lock(GetReaderLock(), std::try_to_lock).owns_lock();
    }
    void Open(const std::u16string& name) {
        SetReaderName(name.c_str());
        Connect();
    }
};

// Polls until `condition` holds or the (generous) time is up.
inline bool Eventually(const std::function<bool()>& condition) {
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    for (; !condition(); std::this_thread::sleep_for(5ms)) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
    }
    return true;
}

class RecordingPoster final : public IMessagePoster {
public:
    void Post(std::uint32_t message, std::uintptr_t wParam) override {
        EXPECT_EQ(message, kMonitorMessage);
        std::lock_guard<std::mutex> hold(mutex_);
        wParams_.push_back(wParam);
    }
    WParams Received() const {
        std::lock_guard<std::mutex> hold(mutex_);
        return wParams_;
    }
    // True once at least `count` messages have arrived.
    bool WaitFor(std::size_t count) const {
        return Eventually([&] { return Received().size() >= count; });
    }

private:
    mutable std::mutex mutex_;
    WParams wParams_;
};

// The coded error (0 and up) or the reader's return code (negative) that
// `action` raised; fails the test when it raised neither.
template <typename Action>
std::int32_t ErrorOf(Action&& action) {
    try {
        action();
    } catch (const CACR120Exception& error) {
        return error.GetReturnCode();
    } catch (const CCodedException& error) {
        return error.GetCode();
    }
    ADD_FAILURE() << "no error raised";
    return 1000;
}

struct Variant {
    const char* reader;    // folder of the virtual reader
    const char16_t* name;  // as the window passes it
    const char* listing;   // the listing function of that library
    bool serial;
};
inline const Variant kSerial{"COM1", u"COM1", "ListTag", true};
inline const Variant kUsb{"USB1", u"USB1", "ListTags", false};

inline std::string PrintVariant(const testing::TestParamInfo<Variant>& info) {
    return info.param.serial ? "Serial" : "Usb";
}

// A test run over both libraries (instantiated with PrintVariant).
class OverBothLibraries : public testing::TestWithParam<Variant> {
protected:
    const char* Reader() const { return GetParam().reader; }
    void Open() { connection_.Open(GetParam().name); }
    int Listings() const { return field_.CountCalls(Reader(), GetParam().listing); }
    void StartMonitor() { connection_.StartMonitor(&poster_, kMonitorMessage); }

    vreader::ScopedVirtualField field_;
    ProbeConnection connection_;
    RecordingPoster poster_;
};
