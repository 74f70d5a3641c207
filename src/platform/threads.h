#pragma once
// Threads and events in the shape the worker thread base needs: a thread that
// can be joined with a time-out and, failing that, ended by force; and a
// manual-reset event whose wait is a point where a forced end may take effect.

#include <cstdint>
#include <memory>

namespace platform {

inline constexpr std::uint32_t kInfinite = 0xFFFFFFFFu;

enum class WaitResult { Signaled, TimedOut, Failed };

class ManualResetEvent {
public:
    // Returns nullptr (last error set) when the system cannot create one.
    static std::unique_ptr<ManualResetEvent> Create();
    virtual ~ManualResetEvent() = default;
    virtual void Set() = 0;
    virtual void Reset() = 0;
    // Waits up to timeoutMs (kInfinite: forever). A forced end of the waiting
    // thread may take effect inside this wait.
    virtual WaitResult Wait(std::uint32_t timeoutMs) = 0;
};

using ThreadEntry = std::uint32_t (*)(void* parameter);

class NativeThread {
public:
    // Starts entry(parameter); nullptr (last error set) on failure. Stack size 0
    // means the system's default.
    static std::unique_ptr<NativeThread> Start(ThreadEntry entry, void* parameter,
                                               std::uint32_t stackSize);
    // A thread object that is destroyed while its thread still runs detaches it.
    virtual ~NativeThread() = default;
    virtual WaitResult Join(std::uint32_t timeoutMs) = 0;
    // Ends the thread by force. POSIX: deferred cancellation, so the thread
    // unwinds (running destructors, releasing scoped locks) at its next
    // cancellation point. Returns false when the request could not be made.
    virtual bool Terminate() = 0;
    // Exit code the entry returned, or 0xFFFFFFFF for a thread ended by force.
    virtual std::uint32_t ExitCode() const = 0;
};

// Ends the process with `exitCode` at once, every thread with it, after flushing
// the standard streams but without running global destructors or exit handlers:
// for a program that left a thread running which may be inside them.
[[noreturn]] void EndProcessNow(int exitCode);

}  // namespace platform
