#include "reader/acr120_trace.h"

#include <atomic>
#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <new>

#include "platform/code_page.h"
#include "platform/file_append.h"
#include "platform/last_error.h"
#include "reader/acr120_dll.h"

namespace reader_trace {

namespace {

std::atomic<StampSource> gStampSource{nullptr};

Stamp CurrentStamp() {
    if (StampSource source = gStampSource.load(std::memory_order_acquire)) {
        return source();
    }
    return Stamp{platform::CurrentLocalTime(), platform::CurrentThreadId()};
}

}  // namespace

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

void SetStampSource(StampSource source) { gStampSource.store(source, std::memory_order_release); }

}  // namespace reader_trace

namespace {

using reader_trace::Address;
using reader_trace::HexDump;

// printf into a std::string; the call texts are plain ASCII.
[[gnu::format(printf, 1, 2)]] std::string Printf(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    va_list again;
    va_copy(again, arguments);
    const int length = std::vsnprintf(nullptr, 0, format, arguments);
    va_end(arguments);
    std::string text;
    if (length > 0) {
        text.resize(static_cast<std::size_t>(length) + 1);
        std::vsnprintf(text.data(), text.size(), format, again);
        text.resize(static_cast<std::size_t>(length));
    }
    va_end(again);
    return text;
}

int Signed(std::int16_t value) { return value; }
unsigned Unsigned(std::uint8_t value) { return value; }

}  // namespace

template <typename BuildText>
void CACR120Dll::Trace(BuildText&& buildText) {
    if (traceFileName.empty()) {
        return;
    }
    // A trace is a diagnostic aid: running out of memory while describing a
    // call must not turn a call that worked (an opened handle, a written
    // block) into a failure the caller would act on.
    std::u16string text;
    try {
        text = platform::AsciiToUtf16(buildText());
    } catch (const std::bad_alloc&) {
        return;
    }
    WriteTraceLine(text);
}

bool CACR120Dll::WriteTraceLine(std::u16string_view callText) {
    if (traceFileName.empty()) {
        return true;
    }
    std::string bytes;
    std::filesystem::path path;
    try {
        const reader_trace::Stamp stamp = reader_trace::CurrentStamp();
        bytes = platform::ToAnsi(reader_trace::FormatLine(stamp.time, stamp.threadId, callText))
                    .bytes;
        path = std::filesystem::path(traceFileName);
    } catch (const std::bad_alloc&) {
        platform::SetLastErrorValue(platform::kErrorNotEnoughMemory);
        return false;
    }
    return platform::AppendToFile(path, bytes);
}

std::int16_t CACR120Dll::Open(std::int16_t portIndex, std::int16_t option) {
    const std::int16_t result = ACR120_Open(portIndex, option);
    Trace([&] {
        return Printf("ACR120_Open(%d,%d) = %d", Signed(portIndex), Signed(option), Signed(result));
    });
    return result;
}

std::int16_t CACR120Dll::Close(std::int16_t handle) {
    const std::int16_t result = ACR120_Close(handle);
    Trace([&] { return Printf("ACR120_Close(%d) = %d", Signed(handle), Signed(result)); });
    return result;
}

std::int16_t CACR120Dll::GetID(std::int16_t handle, std::uint8_t* count,
                               std::uint8_t* stationList) {
    const std::int16_t result = ACR120_GetID(handle, count, stationList);
    Trace([&] {
        return Printf("ACR120_GetID(%d,*(%s)=%u,*(%s)=%u) = %d", Signed(handle),
                      Address(count).c_str(), Unsigned(*count), Address(stationList).c_str(),
                      Unsigned(stationList[0]), Signed(result));
    });
    return result;
}

std::int16_t CACR120Dll::ListTag(std::int16_t handle, std::uint8_t station, std::uint8_t* count,
                                 std::uint32_t* typeFlag, std::uint8_t* tagTypes,
                                 std::uint8_t* serials) {
    const std::int16_t result = ACR120_ListTag(handle, station, count, typeFlag, tagTypes, serials);
    Trace([&] {
        return Printf("ACR120_ListTag(%d,%u,*(%s)=%u,*(%s)=%u,*(%s)=%u,*(%s)=%s) = %d",
                      Signed(handle), Unsigned(station), Address(count).c_str(), Unsigned(*count),
                      Address(typeFlag).c_str(), static_cast<unsigned>(*typeFlag),
                      Address(tagTypes).c_str(), Unsigned(tagTypes[0]), Address(serials).c_str(),
                      HexDump(serials, acr120::kSerialNumberSize).c_str(), Signed(result));
    });
    return result;
}

std::int16_t CACR120Dll::MultiTagSelect(std::int16_t handle, std::uint8_t station,
                                        std::uint8_t* serialToSelect, std::uint32_t* value,
                                        std::uint8_t* tagType, std::uint8_t* serialOut) {
    const std::int16_t result =
        ACR120_MultiTagSelect(handle, station, serialToSelect, value, tagType, serialOut);
    Trace([&] {
        return Printf("ACR120_MultiTagSelect(%d,%u,*(%s)=%s,*(%s)=%u,*(%s)=%u,*(%s)=%s) = %d",
                      Signed(handle), Unsigned(station), Address(serialToSelect).c_str(),
                      HexDump(serialToSelect, acr120::kSerialNumberSize).c_str(),
                      Address(value).c_str(), static_cast<unsigned>(*value),
                      Address(tagType).c_str(), Unsigned(*tagType), Address(serialOut).c_str(),
                      HexDump(serialOut, acr120::kSerialNumberSize).c_str(), Signed(result));
    });
    return result;
}

std::int16_t CACR120Dll::WriteMasterKey(std::int16_t handle, std::uint8_t station,
                                        std::uint8_t keySlot, std::uint8_t* key) {
    const std::int16_t result = ACR120_WriteMasterKey(handle, station, keySlot, key);
    // Only the key's address: a trace file must never disclose a key.
    Trace([&] {
        return Printf("ACR120_WriteMasterKey(%d,%u,%u,%s) = %d", Signed(handle), Unsigned(station),
                      Unsigned(keySlot), Address(key).c_str(), Signed(result));
    });
    return result;
}

std::int16_t CACR120Dll::Login(std::int16_t handle, std::uint8_t station, std::uint8_t sector,
                               std::uint8_t keyMode, std::int32_t keySlot, std::uint8_t* key) {
    const std::int16_t result = ACR120_Login(handle, station, sector, keyMode, keySlot, key);
    Trace([&] {
        return Printf("ACR120_Login(%d,%u,%u,%u,%d,%s) = %d", Signed(handle), Unsigned(station),
                      Unsigned(sector), Unsigned(keyMode), static_cast<int>(keySlot),
                      Address(key).c_str(), Signed(result));
    });
    return result;
}

std::int16_t CACR120Dll::Read(std::int16_t handle, std::uint8_t station, std::uint8_t block,
                              std::uint8_t* data) {
    const std::int16_t result = ACR120_Read(handle, station, block, data);
    Trace([&] {
        return Printf("ACR120_Read(%d,%u,%u,%s) = %d", Signed(handle), Unsigned(station),
                      Unsigned(block), Address(data).c_str(), Signed(result));
    });
    return result;
}

std::int16_t CACR120Dll::Write(std::int16_t handle, std::uint8_t station, std::uint8_t block,
                               std::uint8_t* data) {
    const std::int16_t result = ACR120_Write(handle, station, block, data);
    Trace([&] {
        return Printf("ACR120_Write(%d,%u,%u,%s) = %d", Signed(handle), Unsigned(station),
                      Unsigned(block), Address(data).c_str(), Signed(result));
    });
    return result;
}

std::int16_t CACR120Dll::ReadEEPROM(std::int16_t handle, std::uint8_t station, std::uint8_t reg,
                                    std::uint8_t* value) {
    const std::int16_t result = ACR120_ReadEEPROM(handle, station, reg, value);
    Trace([&] {
        return Printf("ACR120_ReadEEPROM(%d,%u,%u,*(%s)=%u) = %d", Signed(handle),
                      Unsigned(station), Unsigned(reg), Address(value).c_str(), Unsigned(*value),
                      Signed(result));
    });
    return result;
}

std::int16_t CACR120Dll::WriteEEPROM(std::int16_t handle, std::uint8_t station, std::uint8_t reg,
                                     std::uint8_t value) {
    const std::int16_t result = ACR120_WriteEEPROM(handle, station, reg, value);
    Trace([&] {
        return Printf("ACR120_WriteEEPROM(%d,%u,%u,%u) = %d", Signed(handle), Unsigned(station),
                      Unsigned(reg), Unsigned(value), Signed(result));
    });
    return result;
}
