#pragma once
// The serial reader library's call trace: one line per call, written by the
// traced operations of CACR120Dll (declared in acr120_dll.h). A user diagnosing
// a reader names the file in TAGQUILL_TRACE; nothing in the program sets it.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/clock.h"

namespace reader_trace {

inline constexpr const char* kTraceEnvironmentVariable = "TAGQUILL_TRACE";

// The trace path the environment asks for; empty when none.
std::u16string TraceFileNameFromEnvironment();

// Two upper-case hex digits per byte, no separator: "0102030405060708090A".
std::string HexDump(const std::uint8_t* bytes, std::size_t count);

// A buffer's address as the trace prints it: as many upper-case hex digits as a
// pointer has nibbles (8 on 32-bit builds, 16 on 64-bit ones), so that two
// buffers never print alike.
std::string Address(const void* pointer);

// "[hh:mm:ss][tid=n] text\r\n".
std::u16string FormatLine(const platform::LocalTime& time, std::uint32_t threadId,
                          std::u16string_view callText);

// Where a line takes its time and thread from. Tests pin both to get exact
// bytes; nullptr returns to the clock and the calling thread.
struct Stamp {
    platform::LocalTime time;
    std::uint32_t threadId = 0;
};
using StampSource = Stamp (*)();
void SetStampSource(StampSource source);

}  // namespace reader_trace
