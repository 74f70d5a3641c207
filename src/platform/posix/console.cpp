#include "platform/console.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <thread>

namespace platform {

bool StderrIsTerminal() {
    return isatty(STDERR_FILENO) == 1;
}

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
    // The terminal's encoding is UTF-8 on every system we build for.
    return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

// The signals are blocked in every thread and taken by one thread with sigwait,
// where the callback may do anything a thread may (a signal handler could only
// set a flag, and nothing would wake the waiting program).
struct InterruptWatch::State {
    sigset_t watched{};
    sigset_t previous{};
    std::atomic<bool> ending{false};
    std::thread waiter;
};

InterruptWatch::InterruptWatch(std::function<void()> onInterrupt)
    : state_(std::make_unique<State>()) {
    State& state = *state_;
    sigemptyset(&state.watched);
    sigaddset(&state.watched, SIGINT);
    sigaddset(&state.watched, SIGTERM);
    sigaddset(&state.watched, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &state.watched, &state.previous);
    state.waiter = std::thread([&state, onInterrupt = std::move(onInterrupt)] {
        for (;;) {
            int signal = 0;
            if (sigwait(&state.watched, &signal) != 0 || state.ending.load()) {
                return;
            }
            onInterrupt();
        }
    });
}

InterruptWatch::~InterruptWatch() {
    state_->ending = true;
    pthread_kill(state_->waiter.native_handle(), SIGTERM);
    state_->waiter.join();
    pthread_sigmask(SIG_SETMASK, &state_->previous, nullptr);
}

}  // namespace platform
