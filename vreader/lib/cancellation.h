#pragma once
// A POSIX program ends a reader call that hangs by cancelling the calling thread (pthread_cancel).
// The library lets that take effect in one place only: a timed wait on a condition
// variable. That is a cancellation point both sanitizers follow (ThreadSanitizer releases
// the wait's mutex for a cancelled thread; AddressSanitizer is told that the stack
// unwinds), where a nanosleep or a file read is not. Everywhere else cancellation is held
// off, so a call never unwinds out of a system call with a state file half written.

#include <filesystem>

namespace vreader::lib {

// Holds cancellation off for one library call, and restores the caller's setting after it.
class CancellationScope {
public:
    CancellationScope();
    ~CancellationScope();
    CancellationScope(const CancellationScope&) = delete;
    CancellationScope& operator=(const CancellationScope&) = delete;

private:
    int previousState_;
    int outerCallerState_;
};

// Sleeps; the calling thread may be cancelled inside, when its caller allows cancellation.
void CancellableSleep(long milliseconds);

// The wait of a call held by a "block" fault between two looks at the fault file of the
// reader in `readerDir`; the thread may be ended inside, as in CancellableSleep.
void WaitForFaultChange(const std::filesystem::path& readerDir);

}  // namespace vreader::lib
