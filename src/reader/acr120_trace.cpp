#include "reader/acr120_trace.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>

#include "ascii/hex.h"
#include "platform/code_page.h"
#include "reader/acr120_api.h"

namespace reader_trace {

namespace {

std::atomic<StampSource> gStampSource{nullptr};

}  // namespace

Stamp CurrentStamp() {
    if (StampSource source = gStampSource.load(std::memory_order_acquire)) {
        return source();
    }
    return Stamp{platform::CurrentLocalTime(), platform::CurrentThreadId()};
}

std::u16string TraceFileNameFromEnvironment() {
    const char* value = std::getenv(kTraceEnvironmentVariable);
    if (value == nullptr) {
        return {};
    }
    return platform::Utf8ToUtf16(value);
}

std::string Address(const void* pointer) {
    return ascii::HexNumber(reinterpret_cast<std::uintptr_t>(pointer),
                            static_cast<int>(2 * sizeof(std::uintptr_t)));
}

std::u16string FormatLine(const platform::LocalTime& time, std::uint32_t threadId,
                          std::u16string_view callText) {
    char head[64];
    std::snprintf(head, sizeof head, "[%02u:%02u:%02u][tid=%u] ", time.hour, time.minute,
                  time.second, static_cast<unsigned>(threadId));
    std::u16string line = platform::AsciiToUtf16(head);
    line.append(callText);
    line.append(u"\r\n");
    return line;
}

void SetStampSource(StampSource source) {
    gStampSource.store(source, std::memory_order_release);
}

void Describe(std::string& text, SerialBytes argument) {
    text += "*(" + Address(argument.pointer) + ")=";
    text += ascii::HexText(argument.pointer, acr120::kSerialNumberSize);
}

}  // namespace reader_trace
