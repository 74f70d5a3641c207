#pragma once
// What a command-line program needs from the console it runs in: whether a
// human watches stderr, its arguments as UTF-8, and a word when the user asks it
// to stop (Ctrl+C, or a termination request).

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace platform {

// True when stderr is a terminal, so that progress lines help rather than clutter a log.
bool StderrIsTerminal();

// The arguments after the program's name, as UTF-8 whatever the system's own
// encoding of the command line (Windows: the wide command line), with the
// standard streams set up for UTF-8 text: on Windows a console gets it through
// its wide call, so that every script shows, and a pipe or a file gets UTF-8 with
// CR LF line ends; stdin passes byte for byte.
std::vector<std::string> Utf8Arguments(int argc, char** argv);

// While it lives, an interrupt (Ctrl+C, SIGTERM, a console close) runs
// `onInterrupt` on a thread of its own instead of ending the process, so the
// program can stop its reader cleanly. Create it before any other thread, so that
// every thread leaves the signals to it.
class InterruptWatch {
public:
    explicit InterruptWatch(std::function<void()> onInterrupt);
    ~InterruptWatch();
    InterruptWatch(const InterruptWatch&) = delete;
    InterruptWatch& operator=(const InterruptWatch&) = delete;

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace platform
