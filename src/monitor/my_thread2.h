#pragma once
// A worker thread that is started once, asked to stop through an event, and
// ended by force when it does not stop in time.
//
// A forced end must never leave a lock held, or the next user of the reader
// waits for ever. On POSIX a forced end is a deferred cancellation: the thread
// unwinds from its next wait (its stop-event wait, or a blocking call inside the
// reader library), running destructors, so a scoped lock holder on its stack
// releases the reader lock. A body must therefore never swallow the unwinding
// with a catch-all (`catch (...)` without rethrow). On Windows the system can
// only terminate a thread, which unwinds nothing; there the reader lock is a
// kernel mutex that the system hands on when its owner is gone
// (platform/reader_mutex.h).
//
// A thread that does not end even then (it spins, or blocks where a forced end
// cannot reach it) is not waited for without end: after kForcedEndWaitMs it is
// left running, detached. It keeps this object, its stop event and whatever else
// it uses, so the owner must then never destroy any of them (see Abandoned).

#include <cstdint>
#include <memory>

#include "platform/threads.h"

class CMyThread2 {
public:
    // How long Stop waits for a thread it has ended by force.
    static constexpr std::uint32_t kForcedEndWaitMs = 1000;

    CMyThread2() = default;
    // Does not stop the thread: the owner calls Stop first.
    virtual ~CMyThread2() = default;
    CMyThread2(const CMyThread2&) = delete;
    CMyThread2& operator=(const CMyThread2&) = delete;

    // True when the thread runs. The last-error value is 0 after success,
    // 1056 when a thread already runs, else the system's code.
    virtual bool Start(std::uint32_t stackSize, std::uint32_t creationFlags);
    // Signals the stop event, waits up to timeoutMs, then ends the thread by
    // force; returns when it has ended. Safe when no thread runs.
    virtual void Stop(std::uint32_t timeoutMs);
    // The thread body: must watch the stop event and return soon after it is set.
    virtual std::uint32_t Run() = 0;

    bool IsRunning() const { return thread_ != nullptr || abandoned_; }
    // True once Stop has given up on a thread that did not end: it runs on with
    // this object, which the owner must keep for the rest of the process. Start
    // then fails (1056) and Stop returns at once.
    bool Abandoned() const { return abandoned_; }
    // True when the last Stop ended the thread by force, or gave up on it.
    bool EndedByForce() const { return endedByForce_; }
    // Exit code of the last thread (0xFFFFFFFF when it was ended by force);
    // available until the next Start.
    std::uint32_t LastExitCode() const { return lastExitCode_; }

protected:
    virtual bool CreateThreadImpl(std::uint32_t stackSize, std::uint32_t creationFlags);

    // Waits on the stop event; Signaled means "end now".
    platform::WaitResult WaitForStop(std::uint32_t timeoutMs) {
        return stopEvent_->Wait(timeoutMs);
    }
    platform::ManualResetEvent* StopEvent() const { return stopEvent_.get(); }

private:
    static std::uint32_t ThreadEntry(void* self);

    std::unique_ptr<platform::NativeThread> thread_;
    std::unique_ptr<platform::ManualResetEvent> stopEvent_;
    std::uint32_t lastExitCode_ = 0;
    bool abandoned_ = false;
    bool endedByForce_ = false;
};
