#include "monitor/my_thread2.h"

#include "platform/last_error.h"

bool CMyThread2::Start(std::uint32_t stackSize, std::uint32_t creationFlags) {
    if (thread_ != nullptr || abandoned_) {
        platform::SetLastErrorValue(platform::kErrorServiceAlreadyRunning);
        return false;
    }
    stopEvent_ = platform::ManualResetEvent::Create();
    if (stopEvent_ == nullptr) {
        return false;
    }
    if (!CreateThreadImpl(stackSize, creationFlags)) {
        const std::uint32_t error = platform::GetLastErrorValue();
        stopEvent_.reset();
        platform::SetLastErrorValue(error);
        return false;
    }
    platform::SetLastErrorValue(platform::kErrorSuccess);
    return true;
}

bool CMyThread2::CreateThreadImpl(std::uint32_t stackSize, std::uint32_t creationFlags) {
    // Creating a thread suspended has no POSIX counterpart; no caller asks for it.
    if (creationFlags != 0) {
        platform::SetLastErrorValue(platform::kErrorInvalidParameter);
        return false;
    }
    thread_ = platform::NativeThread::Start(&CMyThread2::ThreadEntry, this, stackSize);
    return thread_ != nullptr;
}

void CMyThread2::Stop(std::uint32_t timeoutMs) {
    if (thread_ == nullptr || abandoned_) {
        return;
    }
    stopEvent_->Set();
    endedByForce_ = false;
    if (thread_->Join(timeoutMs) == platform::WaitResult::TimedOut) {
        endedByForce_ = true;
        // The thread still runs. Its stop event stays, and so must this object,
        // which it runs on; only the handle goes (the thread runs on detached).
        if (!thread_->Terminate() ||
            thread_->Join(kForcedEndWaitMs) == platform::WaitResult::TimedOut) {
            abandoned_ = true;
            lastExitCode_ = 0xFFFFFFFFu;
            thread_.reset();
            return;
        }
    }
    lastExitCode_ = thread_->ExitCode();
    thread_.reset();
    stopEvent_.reset();
}

std::uint32_t CMyThread2::ThreadEntry(void* self) {
    return static_cast<CMyThread2*>(self)->Run();
}
