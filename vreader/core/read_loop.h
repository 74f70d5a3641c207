#pragma once
// The whole-file read both OS halves share (files_posix.cpp, files_win32.cpp), over
// their own primitive that reads what follows in an open file.

#include <cstddef>
#include <cstdint>
#include <optional>

#include "core/files.h"

namespace vreader::files {

// `readSome(buffer, room)` gives the bytes it read (0 at the end of the file), or
// nothing on a failure. Nothing also when the file grows past `limit`.
template <typename ReadSome>
std::optional<Bytes> ReadToEnd(ReadSome readSome, std::uintmax_t limit) {
    Bytes data;
    std::uint8_t buffer[4096];
    for (;;) {
        const std::optional<std::size_t> n = readSome(buffer, sizeof buffer);
        if (!n) {
            return std::nullopt;
        }
        if (*n == 0) {
            break;
        }
        data.insert(data.end(), buffer, buffer + *n);
        if (data.size() > limit) {
            return std::nullopt;
        }
    }
    return data;
}

}  // namespace vreader::files
