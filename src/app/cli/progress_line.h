#pragma once
// A line on stderr that says what the program is doing while it waits or works,
// with the seconds so far, for a human at a terminal. It stays silent for work
// shorter than its delay and erases itself at the end.

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

namespace notice_cli {

class ProgressLine {
public:
    // Disabled: does nothing at all (stderr is a log, not a terminal).
    ProgressLine(bool enabled, std::string what, std::chrono::milliseconds delay);
    ~ProgressLine();
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

private:
    std::string what_;
    std::mutex mutex_;
    std::condition_variable stop_;
    bool stopping_ = false;
    bool shown_ = false;
    std::thread ticker_;
};

}  // namespace notice_cli
