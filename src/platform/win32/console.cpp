#include "platform/console.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <iostream>
#include <mutex>
#include <streambuf>

namespace platform {

bool StderrIsTerminal() {
    return _isatty(_fileno(stderr)) != 0;
}

namespace {

std::string ToUtf8(const wchar_t* text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1) {
        return {};
    }
    std::string bytes(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, bytes.data(), size, nullptr, nullptr);
    bytes.resize(static_cast<std::size_t>(size - 1));
    return bytes;
}

// A console shows UTF-8 bytes in its own code page (866, or 437) as garbage;
// written as UTF-16 through the console's wide call, every script shows.
class ConsoleBuffer final : public std::streambuf {
public:
    explicit ConsoleBuffer(HANDLE console) : console_(console) {}

protected:
    int_type overflow(int_type c) override {
        if (c != traits_type::eof()) {
            pending_.push_back(static_cast<char>(c));
            if (c == '\n') {
                sync();
            }
        }
        return traits_type::not_eof(c);
    }
    std::streamsize xsputn(const char* bytes, std::streamsize count) override {
        pending_.append(bytes, static_cast<std::size_t>(count));
        sync();
        return count;
    }
    int sync() override {
        // A character whose bytes have not all come yet waits for the rest.
        std::size_t complete = pending_.size();
        std::size_t back = 0;
        while (back < 3 && back < complete &&
               (static_cast<unsigned char>(pending_[complete - 1 - back]) & 0xC0) == 0x80) {
            ++back;
        }
        if (back < complete) {
            const auto lead = static_cast<unsigned char>(pending_[complete - 1 - back]);
            const std::size_t needed = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
            if (needed > back + 1) {
                complete -= back + 1;
            }
        }
        if (complete == 0) {
            return 0;
        }
        const int size = MultiByteToWideChar(CP_UTF8, 0, pending_.data(),
                                             static_cast<int>(complete), nullptr, 0);
        std::wstring wide(static_cast<std::size_t>(size > 0 ? size : 0), L'\0');
        if (size > 0) {
            MultiByteToWideChar(CP_UTF8, 0, pending_.data(), static_cast<int>(complete),
                                wide.data(), size);
            DWORD written = 0;
            WriteConsoleW(console_, wide.data(), static_cast<DWORD>(wide.size()), &written,
                          nullptr);
        }
        pending_.erase(0, complete);
        return 0;
    }

private:
    HANDLE console_;
    std::string pending_;
};

// A stream that goes to a console gets the wide call; one that goes to a pipe or
// a file keeps UTF-8, with CR LF line ends as Windows text has them.
void SetUpOutput(std::ostream& stream, DWORD which, FILE* file) {
    HANDLE handle = GetStdHandle(which);
    DWORD mode = 0;
    if (handle != nullptr && handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode)) {
        std::fflush(file);
        stream.rdbuf(new ConsoleBuffer(handle));  // lives as long as the process
        return;
    }
    _setmode(_fileno(file), _O_TEXT);
}

std::mutex gInterruptMutex;
std::function<void()> gOnInterrupt;

BOOL WINAPI OnConsoleControl(DWORD /*event*/) {
    std::function<void()> callback;
    {
        std::lock_guard<std::mutex> hold(gInterruptMutex);
        callback = gOnInterrupt;
    }
    if (!callback) {
        return FALSE;
    }
    // The system runs this on a thread of its own, as the interface promises.
    callback();
    return TRUE;
}

}  // namespace

std::vector<std::string> Utf8Arguments(int /*argc*/, char** /*argv*/) {
    // main's narrow arguments are in the ANSI code page and lose what it lacks.
    std::vector<std::string> arguments;
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    for (int i = 1; wide != nullptr && i < count; ++i) {
        arguments.push_back(ToUtf8(wide[i]));
    }
    LocalFree(wide);
    SetConsoleCP(CP_UTF8);
    // What comes in passes byte for byte: the program reads CR LF itself.
    _setmode(_fileno(stdin), _O_BINARY);
    SetUpOutput(std::cout, STD_OUTPUT_HANDLE, stdout);
    SetUpOutput(std::cerr, STD_ERROR_HANDLE, stderr);
    return arguments;
}

struct InterruptWatch::State {};

InterruptWatch::InterruptWatch(std::function<void()> onInterrupt)
    : state_(std::make_unique<State>()) {
    {
        std::lock_guard<std::mutex> hold(gInterruptMutex);
        gOnInterrupt = std::move(onInterrupt);
    }
    SetConsoleCtrlHandler(&OnConsoleControl, TRUE);
}

InterruptWatch::~InterruptWatch() {
    SetConsoleCtrlHandler(&OnConsoleControl, FALSE);
    std::lock_guard<std::mutex> hold(gInterruptMutex);
    gOnInterrupt = nullptr;
}

}  // namespace platform
