#include "platform/threads.h"

#include <pthread.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <ctime>
#include <mutex>

#include "platform/last_error.h"

namespace platform {

namespace {

timespec DeadlineAfter(std::uint32_t timeoutMs) {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    long long nanos =
        static_cast<long long>(now.tv_nsec) + static_cast<long long>(timeoutMs % 1000) * 1000000LL;
    timespec deadline{};
    deadline.tv_sec = now.tv_sec + static_cast<time_t>(timeoutMs / 1000) +
                      static_cast<time_t>(nanos / 1000000000LL);
    deadline.tv_nsec = static_cast<long>(nanos % 1000000000LL);
    return deadline;
}

// Unlocks on every way out, including the unwinding of a cancelled thread that
// was waiting on the condition (which re-acquires the mutex before unwinding).
class PthreadMutexHolder {
public:
    explicit PthreadMutexHolder(pthread_mutex_t& mutex) : mutex_(mutex) {
        pthread_mutex_lock(&mutex_);
    }
    ~PthreadMutexHolder() { pthread_mutex_unlock(&mutex_); }
    PthreadMutexHolder(const PthreadMutexHolder&) = delete;
    PthreadMutexHolder& operator=(const PthreadMutexHolder&) = delete;

private:
    pthread_mutex_t& mutex_;
};

class PosixEvent final : public ManualResetEvent {
public:
    PosixEvent() {
        pthread_mutex_init(&mutex_, nullptr);
        pthread_condattr_t attributes;
        pthread_condattr_init(&attributes);
        pthread_condattr_setclock(&attributes, CLOCK_MONOTONIC);
        pthread_cond_init(&condition_, &attributes);
        pthread_condattr_destroy(&attributes);
    }
    ~PosixEvent() override {
        pthread_cond_destroy(&condition_);
        pthread_mutex_destroy(&mutex_);
    }

    void Set() override {
        PthreadMutexHolder hold(mutex_);
        signaled_ = true;
        pthread_cond_broadcast(&condition_);
    }

    void Reset() override {
        PthreadMutexHolder hold(mutex_);
        signaled_ = false;
    }

    WaitResult Wait(std::uint32_t timeoutMs) override {
        // Every wait is a cancellation point, also when the event is already
        // set: a thread ended by force while it polls its stop event unwinds
        // from here rather than spinning on.
        pthread_testcancel();
        PthreadMutexHolder hold(mutex_);
        if (timeoutMs == kInfinite) {
            while (!signaled_) {
                pthread_cond_wait(&condition_, &mutex_);
            }
            return WaitResult::Signaled;
        }
        const timespec deadline = DeadlineAfter(timeoutMs);
        while (!signaled_) {
            int rc = pthread_cond_timedwait(&condition_, &mutex_, &deadline);
            if (rc == ETIMEDOUT) {
                return signaled_ ? WaitResult::Signaled : WaitResult::TimedOut;
            }
            if (rc != 0) {
                SetLastErrorValue(Win32ErrorFromErrno(rc));
                return WaitResult::Failed;
            }
        }
        return WaitResult::Signaled;
    }

private:
    pthread_mutex_t mutex_;
    pthread_cond_t condition_;
    bool signaled_ = false;
};

// Shared between the owner and the thread, so that a detached thread never
// touches freed memory.
struct ThreadState {
    ThreadEntry entry = nullptr;
    void* parameter = nullptr;
    std::mutex mutex;
    std::condition_variable finishedChanged;
    bool finished = false;
    std::uint32_t exitCode = 0xFFFFFFFFu;
};

struct StartBlock {
    std::shared_ptr<ThreadState> state;
};

// Marks the thread finished on every way out of its body, the unwinding of a
// forced end included.
class FinishMarker {
public:
    explicit FinishMarker(ThreadState& state) : state_(state) {}
    ~FinishMarker() {
        std::lock_guard<std::mutex> hold(state_.mutex);
        state_.finished = true;
        state_.finishedChanged.notify_all();
    }
    FinishMarker(const FinishMarker&) = delete;
    FinishMarker& operator=(const FinishMarker&) = delete;

private:
    ThreadState& state_;
};

void* ThreadMain(void* raw) {
    std::shared_ptr<ThreadState> state = static_cast<StartBlock*>(raw)->state;
    delete static_cast<StartBlock*>(raw);
    pthread_setcancelstate(PTHREAD_CANCEL_ENABLE, nullptr);
    pthread_setcanceltype(PTHREAD_CANCEL_DEFERRED, nullptr);
    FinishMarker marker(*state);
    std::uint32_t code = state->entry(state->parameter);
    std::lock_guard<std::mutex> hold(state->mutex);
    state->exitCode = code;
    return nullptr;
}

class PosixThread final : public NativeThread {
public:
    PosixThread(pthread_t thread, std::shared_ptr<ThreadState> state)
        : thread_(thread), state_(std::move(state)) {}

    ~PosixThread() override {
        if (!joined_) {
            pthread_detach(thread_);
        }
    }

    WaitResult Join(std::uint32_t timeoutMs) override {
        if (joined_) {
            return WaitResult::Signaled;
        }
        {
            std::unique_lock<std::mutex> hold(state_->mutex);
            if (timeoutMs == kInfinite) {
                state_->finishedChanged.wait(hold, [this] { return state_->finished; });
            } else if (!state_->finishedChanged.wait_for(hold, std::chrono::milliseconds(timeoutMs),
                                                         [this] { return state_->finished; })) {
                return WaitResult::TimedOut;
            }
        }
        // The body has left; the join only collects the thread's resources.
        int rc = pthread_join(thread_, nullptr);
        if (rc != 0) {
            SetLastErrorValue(Win32ErrorFromErrno(rc));
            return WaitResult::Failed;
        }
        joined_ = true;
        return WaitResult::Signaled;
    }

    bool Terminate() override {
        int rc = pthread_cancel(thread_);
        if (rc != 0) {
            SetLastErrorValue(Win32ErrorFromErrno(rc));
            return false;
        }
        return true;
    }

    std::uint32_t ExitCode() const override {
        std::lock_guard<std::mutex> hold(state_->mutex);
        return state_->exitCode;
    }

private:
    pthread_t thread_;
    std::shared_ptr<ThreadState> state_;
    bool joined_ = false;
};

}  // namespace

std::unique_ptr<ManualResetEvent> ManualResetEvent::Create() {
    return std::make_unique<PosixEvent>();
}

std::unique_ptr<NativeThread> NativeThread::Start(ThreadEntry entry, void* parameter,
                                                  std::uint32_t stackSize) {
    auto state = std::make_shared<ThreadState>();
    state->entry = entry;
    state->parameter = parameter;

    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    if (stackSize != 0) {
        int rc = pthread_attr_setstacksize(&attributes, stackSize);
        if (rc != 0) {
            pthread_attr_destroy(&attributes);
            SetLastErrorValue(Win32ErrorFromErrno(rc));
            return nullptr;
        }
    }
    auto* block = new StartBlock{state};
    pthread_t thread{};
    int rc = pthread_create(&thread, &attributes, &ThreadMain, block);
    pthread_attr_destroy(&attributes);
    if (rc != 0) {
        delete block;
        SetLastErrorValue(Win32ErrorFromErrno(rc));
        return nullptr;
    }
    return std::make_unique<PosixThread>(thread, std::move(state));
}

void EndProcessNow(int exitCode) {
    std::fflush(nullptr);
    _exit(exitCode);
}

}  // namespace platform
