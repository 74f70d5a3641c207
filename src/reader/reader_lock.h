#pragma once
// The reader lock that the connection shares with the presence monitor, made and
// taken so that a system failing either ends in one of the program's own errors.
// On Windows the lock is a kernel mutex (platform/reader_mutex.h), whose creation
// and wait can fail with std::system_error, which no command guard catches.

#include <memory>
#include <new>
#include <system_error>

#include "errors/atl_exception.h"
#include "platform/reader_mutex.h"

using ReaderLock = platform::ReaderMutex;

// A lock the system cannot make is the out-of-memory error (0x8007000E), the
// program's error for every resource it runs out of.
template <typename Lock = ReaderLock>
std::unique_ptr<Lock> MakeReaderLock() {
    try {
        return std::make_unique<Lock>();
    } catch (const std::bad_alloc&) {
        AtlThrow(kEOutOfMemory);
    } catch (const std::system_error&) {
        AtlThrow(kEOutOfMemory);
    }
}

// The system's error for a lock it could not take, from the connection.
[[noreturn]] void ThrowReaderLockFailure(const std::error_code& code);

// Holds the lock for a scope. The reader lock is held only through this, so that an
// error, or the unwinding of a monitor thread ended by force, always releases it; on
// Windows, where a forced end does not unwind, the lock itself survives its owner.
template <typename Lock>
class BasicReaderLockHolder {
public:
    explicit BasicReaderLockHolder(Lock& lock) : lock_(lock) {
        try {
            lock_.lock();
        } catch (const std::system_error& error) {
            ThrowReaderLockFailure(error.code());
        }
    }
    ~BasicReaderLockHolder() { lock_.unlock(); }
    BasicReaderLockHolder(const BasicReaderLockHolder&) = delete;
    BasicReaderLockHolder& operator=(const BasicReaderLockHolder&) = delete;

private:
    Lock& lock_;
};

using ReaderLockHolder = BasicReaderLockHolder<ReaderLock>;
