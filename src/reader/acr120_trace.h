#pragma once
// The serial reader library's call trace: one line per call, written by
// CACR120Dll::Call. A user diagnosing a reader names the file in
// TAGQUILL_TRACE; nothing in the program sets it.
//
// A line shows the function, its arguments after the call, and the result:
// integers as decimal numbers; a pointer wrapped in Shown as its address and the
// value it points to; one wrapped in SerialBytes as its address and the ten
// bytes of a serial number in hex; any other pointer (keys, block data) as its
// address alone, so that a trace never discloses a key.

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <new>
#include <string>
#include <string_view>

#include "platform/clock.h"

namespace reader_trace {

inline constexpr const char* kTraceEnvironmentVariable = "TAGQUILL_TRACE";

// The trace path the environment asks for; empty when none.
std::u16string TraceFileNameFromEnvironment();

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
Stamp CurrentStamp();

// Argument kinds of a traced call.
template <typename Value>
struct Shown {
    Value* pointer;
};
// Spelled out for compilers without deduction for aggregates (clang 14).
template <typename Value>
Shown(Value*) -> Shown<Value>;
struct SerialBytes {
    std::uint8_t* pointer;
};

// What the library gets for each kind.
template <typename Argument>
Argument Pass(Argument argument) {
    return argument;
}
template <typename Value>
Value* Pass(Shown<Value> argument) {
    return argument.pointer;
}
inline std::uint8_t* Pass(SerialBytes argument) {
    return argument.pointer;
}

// How the trace line shows each kind.
template <std::integral Integer>
void Describe(std::string& text, Integer value) {
    if constexpr (std::is_signed_v<Integer>) {
        text += std::to_string(static_cast<long long>(value));
    } else {
        text += std::to_string(static_cast<unsigned long long>(value));
    }
}
inline void Describe(std::string& text, const void* pointer) {
    text += Address(pointer);
}
template <typename Value>
void Describe(std::string& text, Shown<Value> argument) {
    text += "*(" + Address(argument.pointer) + ")=";
    Describe(text, *argument.pointer);
}
void Describe(std::string& text, SerialBytes argument);

// "ACR120_Name(argument,...) = result", the arguments as they are after the call.
template <typename... Arguments>
std::string CallText(const char* name, std::int16_t result, const Arguments&... arguments) {
    std::string text = name;
    text += '(';
    const char* separator = "";
    ((text += separator, Describe(text, arguments), separator = ","), ...);
    text += ") = ";
    Describe(text, result);
    return text;
}

// Runs `buildText` into `text`; false when memory ran out on the way.
template <typename BuildText>
bool BuildCallText(BuildText&& buildText, std::u16string& text) {
    try {
        const std::string ascii = buildText();
        text.assign(ascii.begin(), ascii.end());
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

}  // namespace reader_trace
