#include "reader/acr120_trace.h"

#include <atomic>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>

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

std::string HexDump(const std::uint8_t* bytes, std::size_t count) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(count * 2);
    for (std::size_t i = 0; i < count; ++i) {
        text.push_back(kDigits[bytes[i] >> 4]);
        text.push_back(kDigits[bytes[i] & 0x0F]);
    }
    return text;
}

std::string Address(const void* pointer) {
    char text[2 * sizeof(std::uintptr_t) + 1];
    std::snprintf(text, sizeof text, "%0*" PRIXPTR, static_cast<int>(2 * sizeof(std::uintptr_t)),
                  reinterpret_cast<std::uintptr_t>(pointer));
    return text;
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
    text += HexDump(argument.pointer, acr120::kSerialNumberSize);
}

}  // namespace reader_trace
