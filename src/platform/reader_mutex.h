#pragma once
// The lock the reader connection shares with the presence monitor. A thread
// ended by force must not leave it held for ever: on POSIX the forced end
// unwinds and the scoped holder releases it; on Windows a terminated thread
// never unwinds, so the lock is a kernel mutex, which the system hands to the
// next waiter when its owner is gone.

#if defined(_WIN32)
#include <cstdint>
#else
#include <mutex>
#endif

namespace platform {

#if defined(_WIN32)
class ReaderMutex {
public:
    ReaderMutex();
    ~ReaderMutex();
    ReaderMutex(const ReaderMutex&) = delete;
    ReaderMutex& operator=(const ReaderMutex&) = delete;

    // Also succeeds when the previous owner ended without releasing it.
    void lock();
    bool try_lock();
    void unlock();

private:
    void* handle_;
};
#else
using ReaderMutex = std::mutex;
#endif

}  // namespace platform
