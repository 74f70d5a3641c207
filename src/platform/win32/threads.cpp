#include "platform/threads.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>

namespace platform {

namespace {

WaitResult WaitOn(HANDLE handle, std::uint32_t timeoutMs) {
    switch (WaitForSingleObject(handle, timeoutMs == kInfinite ? INFINITE : timeoutMs)) {
        case WAIT_OBJECT_0:
            return WaitResult::Signaled;
        case WAIT_TIMEOUT:
            return WaitResult::TimedOut;
        default:
            return WaitResult::Failed;
    }
}

class Win32Event final : public ManualResetEvent {
public:
    explicit Win32Event(HANDLE handle) : handle_(handle) {}
    ~Win32Event() override { CloseHandle(handle_); }
    Win32Event(const Win32Event&) = delete;
    Win32Event& operator=(const Win32Event&) = delete;

    void Set() override { SetEvent(handle_); }
    void Reset() override { ResetEvent(handle_); }
    WaitResult Wait(std::uint32_t timeoutMs) override { return WaitOn(handle_, timeoutMs); }

private:
    HANDLE handle_;
};

struct StartBlock {
    ThreadEntry entry;
    void* parameter;
};

DWORD WINAPI ThreadMain(void* raw) {
    const StartBlock block = *static_cast<StartBlock*>(raw);
    delete static_cast<StartBlock*>(raw);
    return block.entry(block.parameter);
}

class Win32Thread final : public NativeThread {
public:
    explicit Win32Thread(HANDLE handle) : handle_(handle) {}
    // Closing the handle of a running thread leaves the thread running.
    ~Win32Thread() override { CloseHandle(handle_); }
    Win32Thread(const Win32Thread&) = delete;
    Win32Thread& operator=(const Win32Thread&) = delete;

    WaitResult Join(std::uint32_t timeoutMs) override { return WaitOn(handle_, timeoutMs); }

    bool Terminate() override { return TerminateThread(handle_, kForcedExitCode) != FALSE; }

    std::uint32_t ExitCode() const override {
        DWORD code = kForcedExitCode;
        if (!GetExitCodeThread(handle_, &code) || code == STILL_ACTIVE) {
            return kForcedExitCode;
        }
        return code;
    }

private:
    static constexpr DWORD kForcedExitCode = 0xFFFFFFFFu;
    HANDLE handle_;
};

}  // namespace

std::unique_ptr<ManualResetEvent> ManualResetEvent::Create() {
    HANDLE handle = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (handle == nullptr) {
        return nullptr;
    }
    return std::make_unique<Win32Event>(handle);
}

std::unique_ptr<NativeThread> NativeThread::Start(ThreadEntry entry, void* parameter,
                                                  std::uint32_t stackSize) {
    auto* block = new StartBlock{entry, parameter};
    HANDLE handle = CreateThread(nullptr, stackSize, &ThreadMain, block, 0, nullptr);
    if (handle == nullptr) {
        const DWORD error = GetLastError();
        delete block;
        SetLastError(error);
        return nullptr;
    }
    return std::make_unique<Win32Thread>(handle);
}

void EndProcessNow(int exitCode) {
    std::fflush(nullptr);
    // Not ExitProcess: that would still detach the libraries the stuck thread is in.
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(exitCode));
    std::abort();
}

}  // namespace platform
