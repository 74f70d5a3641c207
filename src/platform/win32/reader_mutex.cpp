#include "platform/reader_mutex.h"

#include <windows.h>

#include <system_error>

namespace platform {

ReaderMutex::ReaderMutex() : handle_(CreateMutexW(nullptr, FALSE, nullptr)) {
    if (handle_ == nullptr) {
        throw std::system_error(static_cast<int>(GetLastError()), std::system_category(),
                                "CreateMutexW");
    }
}

ReaderMutex::~ReaderMutex() {
    CloseHandle(handle_);
}

void ReaderMutex::lock() {
    const DWORD result = WaitForSingleObject(handle_, INFINITE);
    // WAIT_ABANDONED: the owner was terminated while holding the lock; the
    // waiter owns it now. What the owner guarded may be half done, but every
    // reader call starts from the library's own state, so going on is safe.
    if (result != WAIT_OBJECT_0 && result != WAIT_ABANDONED) {
        throw std::system_error(static_cast<int>(GetLastError()), std::system_category(),
                                "WaitForSingleObject");
    }
}

bool ReaderMutex::try_lock() {
    const DWORD result = WaitForSingleObject(handle_, 0);
    return result == WAIT_OBJECT_0 || result == WAIT_ABANDONED;
}

void ReaderMutex::unlock() {
    ReleaseMutex(handle_);
}

}  // namespace platform
