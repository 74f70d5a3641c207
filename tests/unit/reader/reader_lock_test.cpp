// The reader lock when the system fails it, as the Windows kernel mutex can: the
// failure must end in the program's own errors, which every command guard shows,
// never in a std::system_error that ends the program.

#include <gtest/gtest.h>

#include <new>
#include <system_error>

#include "errors/atl_exception.h"
#include "errors/caught_error.h"
#include "errors/system_exception.h"
#include "platform/last_error.h"
#include "reader/reader_lock.h"

namespace {

// A system out of kernel objects (ERROR_NO_SYSTEM_RESOURCES), or of memory.
struct LockTheSystemCannotMake {
    LockTheSystemCannotMake() { throw std::system_error(1450, std::system_category()); }
    void lock() {}
    void unlock() {}
};
struct LockWithoutMemory {
    LockWithoutMemory() { throw std::bad_alloc(); }
    void lock() {}
    void unlock() {}
};
// A lock whose wait fails (an invalid handle), counting releases.
struct LockTheSystemCannotTake {
    void lock() { throw std::system_error(std::make_error_code(std::errc::bad_file_descriptor)); }
    void unlock() { ++unlocks; }
    int unlocks = 0;
};

template <typename Lock>
HResult OutOfMemoryStatus() {
    try {
        MakeReaderLock<Lock>();
    } catch (const CAtlException& error) {
        return error.GetHResult();
    }
    return 0;
}

TEST(ReaderLock, ALockThatCannotBeMadeIsOutOfMemory) {
    EXPECT_EQ(static_cast<std::uint32_t>(OutOfMemoryStatus<LockTheSystemCannotMake>()),
              0x8007000Eu);
    EXPECT_EQ(static_cast<std::uint32_t>(OutOfMemoryStatus<LockWithoutMemory>()), 0x8007000Eu);
    EXPECT_NE(MakeReaderLock(), nullptr);
}

TEST(ReaderLock, ALockThatCannotBeTakenIsTheSystemsErrorAndIsNotReleased) {
    LockTheSystemCannotTake lock;
    const ICOMSrvException* seen = nullptr;
    HResult status = 0;
    const bool done = CatchProgramErrors(
        [&] { BasicReaderLockHolder<LockTheSystemCannotTake> hold(lock); },
        [&](const CaughtError& caught) {
            seen = caught.Error();
            status = seen != nullptr ? seen->GetErrorCode() : 0;
            EXPECT_EQ(seen != nullptr ? seen->GetSource() : u"", kSourceReaderBase);
        });
    EXPECT_FALSE(done);
    EXPECT_NE(seen, nullptr);
    EXPECT_EQ(status, HResultFromWin32(platform::Win32ErrorOf(
                          std::make_error_code(std::errc::bad_file_descriptor))));
    EXPECT_EQ(lock.unlocks, 0);
}

}  // namespace
