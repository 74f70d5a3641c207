#pragma once
// Shared by the connection, selection and monitor tests: a connection whose
// inner state can be looked at, and a window stand-in that records messages.

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
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

// Both sanitizers lose track of a thread cancelled inside an intercepted
// blocking call (nanosleep, read...): ThreadSanitizer never sees the unwinding
// release its locks and reports the next lock as a double lock; AddressSanitizer
// finds the stack poison that the skipped frame epilogues left behind. The
// forced end is therefore proven in the plain build only.
#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
inline constexpr bool kSanitizerLosesCancelledThreads = true;
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer) || __has_feature(address_sanitizer)
inline constexpr bool kSanitizerLosesCancelledThreads = true;
#else
inline constexpr bool kSanitizerLosesCancelledThreads = false;
#endif
#else
inline constexpr bool kSanitizerLosesCancelledThreads = false;
#endif

class ProbeConnection : public CACR120Base {
public:
    using CACR120Base::CACR120Base;

    std::uint16_t CardType() const { return cardType_; }
    std::uint8_t TagType() const { return tagType_; }
    std::uint8_t SerialLength() const { return serialNumberLength_; }
    const std::array<std::uint8_t, 10>& Serial() const { return serialNumber_; }
    const MifareKey& CachedKey(int slot) const { return keyCache_[static_cast<std::size_t>(slot)]; }
    CMonThread& Monitor() { return *monitor_; }
    CACR120Dll& SerialLibrary() { return *serialDll_; }
    CACR120UDll& UsbLibrary() { return *usbDll_; }
    void SetMonitorStopTimeout(std::uint32_t ms) { monitorStopTimeoutMs_ = ms; }

    bool ReaderLockIsFree() {
        if (!GetReaderLock().try_lock()) {
            return false;
        }
        GetReaderLock().unlock();
        return true;
    }

    void Open(const std::u16string& name) {
        SetReaderName(name.c_str());
        Connect();
    }
};

class RecordingPoster final : public IMessagePoster {
public:
    void Post(std::uint32_t message, std::uintptr_t wParam) override {
        std::lock_guard<std::mutex> hold(mutex_);
        EXPECT_EQ(message, kMonitorMessage);
        wParams_.push_back(wParam);
        changed_.notify_all();
    }

    std::vector<std::uintptr_t> WParams() const {
        std::lock_guard<std::mutex> hold(mutex_);
        return wParams_;
    }
    // True once at least `count` messages have arrived.
    bool WaitFor(std::size_t count, std::chrono::milliseconds timeout = 3000ms) const {
        std::unique_lock<std::mutex> hold(mutex_);
        return changed_.wait_for(hold, timeout, [&] { return wParams_.size() >= count; });
    }

private:
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::vector<std::uintptr_t> wParams_;
};

// Both library variants run most cases: the reader's name says which.
struct Variant {
    const char* reader;      // folder of the virtual reader
    const char16_t* name;    // as the window passes it
    const char* listing;     // the listing function of that library
    bool serial;
};
inline const Variant kSerial{"COM1", u"COM1", "ListTag", true};
inline const Variant kUsb{"USB1", u"USB1", "ListTags", false};

inline std::string PrintVariant(const testing::TestParamInfo<Variant>& info) {
    return info.param.serial ? "Serial" : "Usb";
}

// Runs `action` and hands back the coded error it raised, failing the test when
// it raised none.
template <typename Action>
std::int32_t CodedErrorOf(Action&& action) {
    try {
        action();
    } catch (const CCodedException& error) {
        return error.GetCode();
    }
    ADD_FAILURE() << "no coded error raised";
    return -1;
}

template <typename Action>
std::int16_t ReaderErrorOf(Action&& action) {
    try {
        action();
    } catch (const CACR120Exception& error) {
        return error.GetReturnCode();
    }
    ADD_FAILURE() << "no reader error raised";
    return 0;
}

// Polls until `condition` holds or the time is up.
inline bool Eventually(const std::function<bool()>& condition,
                       std::chrono::milliseconds timeout = 3000ms) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

inline vreader::Bytes Uid(std::initializer_list<std::uint8_t> bytes) { return vreader::Bytes(bytes); }
