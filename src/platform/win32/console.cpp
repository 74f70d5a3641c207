#include "platform/console.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <mutex>

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
    SetConsoleOutputCP(CP_UTF8);
    SetConsoleCP(CP_UTF8);
    // Text and files pass byte for byte; the program makes its own line breaks.
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
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
