#include "app/cli/progress_line.h"

#include <cstdio>

namespace notice_cli {

ProgressLine::ProgressLine(bool enabled, std::string what, std::chrono::milliseconds delay)
    : what_(std::move(what)) {
    if (!enabled) {
        return;
    }
    ticker_ = std::thread([this, delay] {
        const auto start = std::chrono::steady_clock::now();
        std::unique_lock<std::mutex> hold(mutex_);
        auto next = start + delay;
        while (!stop_.wait_until(hold, next, [this] { return stopping_; })) {
            const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(
                std::chrono::steady_clock::now() - start);
            std::fprintf(stderr, "\r%s %llds ", what_.c_str(),
                         static_cast<long long>(seconds.count()));
            std::fflush(stderr);
            shown_ = true;
            next += std::chrono::seconds(1);
        }
    });
}

ProgressLine::~ProgressLine() {
    if (!ticker_.joinable()) {
        return;
    }
    {
        std::lock_guard<std::mutex> hold(mutex_);
        stopping_ = true;
    }
    stop_.notify_all();
    ticker_.join();
    if (shown_) {
        std::fputs("\r\033[K", stderr);
        std::fflush(stderr);
    }
}

}  // namespace notice_cli
