#include "lib/cancellation.h"

#include <pthread.h>
#include <time.h>
#include <cstdint>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VREADER_ASAN 1
#endif
#elif defined(__SANITIZE_ADDRESS__)
#define VREADER_ASAN 1
#endif
#ifdef VREADER_ASAN
#include <sanitizer/asan_interface.h>
#endif

namespace vreader::lib {

namespace {

constexpr long kMillisecondsPerSecond = 1000;
constexpr long kNanosecondsPerMillisecond = 1000000;
constexpr long kNanosecondsPerSecond = 1000000000;

// Whether the thread that called into the library may be cancelled; waits use it.
// Kept under a thread key rather than in thread_local storage: this library is
// loaded at run time, and the dynamic thread-local block of such a library makes
// the leak checker of GCC 12's sanitizer runtime crash at exit.
class CallerStateKey {
public:
    CallerStateKey() { pthread_key_create(&key_, nullptr); }
    ~CallerStateKey() { pthread_key_delete(key_); }
    CallerStateKey(const CallerStateKey&) = delete;
    CallerStateKey& operator=(const CallerStateKey&) = delete;

    // Stored plus one, so that a thread that never set it reads "enabled".
    int Get() const {
        const auto stored = reinterpret_cast<std::intptr_t>(pthread_getspecific(key_));
        return stored == 0 ? PTHREAD_CANCEL_ENABLE : static_cast<int>(stored - 1);
    }
    void Set(int state) {
        pthread_setspecific(key_, reinterpret_cast<void*>(static_cast<std::intptr_t>(state) + 1));
    }

private:
    pthread_key_t key_{};
};

CallerStateKey gCallerState;

timespec DeadlineAfter(long milliseconds) {
    timespec deadline{};
    clock_gettime(CLOCK_MONOTONIC, &deadline);
    deadline.tv_sec += milliseconds / kMillisecondsPerSecond;
    deadline.tv_nsec += (milliseconds % kMillisecondsPerSecond) * kNanosecondsPerMillisecond;
    if (deadline.tv_nsec >= kNanosecondsPerSecond) {
        ++deadline.tv_sec;
        deadline.tv_nsec -= kNanosecondsPerSecond;
    }
    return deadline;
}

// A condition nobody signals: waiting on it with a deadline is a sleep.
struct SleepCondition {
    pthread_mutex_t mutex;
    pthread_cond_t condition;
    SleepCondition() {
        pthread_mutex_init(&mutex, nullptr);
        pthread_condattr_t attributes;
        pthread_condattr_init(&attributes);
        pthread_condattr_setclock(&attributes, CLOCK_MONOTONIC);
        pthread_cond_init(&condition, &attributes);
        pthread_condattr_destroy(&attributes);
    }
    ~SleepCondition() {
        pthread_cond_destroy(&condition);
        pthread_mutex_destroy(&mutex);
    }
    SleepCondition(const SleepCondition&) = delete;
    SleepCondition& operator=(const SleepCondition&) = delete;
};

// A cancelled wait takes the mutex again before the thread unwinds; this lets it go.
struct MutexHolder {
    pthread_mutex_t& mutex;
    explicit MutexHolder(pthread_mutex_t& held) : mutex(held) { pthread_mutex_lock(&mutex); }
    ~MutexHolder() { pthread_mutex_unlock(&mutex); }
    MutexHolder(const MutexHolder&) = delete;
    MutexHolder& operator=(const MutexHolder&) = delete;
};

// The frames a cancellation unwinds never run their epilogues, so AddressSanitizer would
// keep their stack poisoned and report the destructors that run below them.
struct UnwindNotice {
    bool returned = false;
    UnwindNotice() = default;
    ~UnwindNotice() {
#ifdef VREADER_ASAN
        if (!returned) {
            __asan_handle_no_return();
        }
#endif
    }
    UnwindNotice(const UnwindNotice&) = delete;
    UnwindNotice& operator=(const UnwindNotice&) = delete;
};

constexpr long kFaultPollMilliseconds = 5;

}  // namespace

CancellationScope::CancellationScope() : previousState_(0), outerCallerState_(gCallerState.Get()) {
    pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, &previousState_);
    gCallerState.Set(previousState_);
}

CancellationScope::~CancellationScope() {
    gCallerState.Set(outerCallerState_);
    pthread_setcancelstate(previousState_, nullptr);
}

void CancellableSleep(long milliseconds) {
    SleepCondition sleep;
    const timespec deadline = DeadlineAfter(milliseconds);
    MutexHolder hold(sleep.mutex);
    UnwindNotice notice;
    int outside = 0;
    pthread_setcancelstate(gCallerState.Get(), &outside);
    // 0 is a spurious wake-up; the deadline ends the sleep.
    while (pthread_cond_timedwait(&sleep.condition, &sleep.mutex, &deadline) == 0) {
    }
    pthread_setcancelstate(outside, nullptr);
    notice.returned = true;
}

void WaitForFaultChange(const std::filesystem::path&) {
    CancellableSleep(kFaultPollMilliseconds);
}

}  // namespace vreader::lib
