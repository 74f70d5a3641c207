#pragma once
// Inner steps of the Win32 half, over a handle, source or pause that the caller
// gives: the program passes the system's own, and tests a key, device set, text
// or pause of theirs, so that the real system calls meet values the machine does
// not have. Only src/platform/win32 and its tests include this header.

// windows.h first: the other system headers build on it.
// clang-format off
#include <windows.h>
#include <setupapi.h>
// clang-format on

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace platform::win32 {

// The data of the key's values as text, in the key's order, up to the first
// value that cannot be read.
std::vector<std::u16string> PortNamesInKey(HKEY key);

// The instance identifiers of the set's members, in member order.
std::vector<std::u16string> InstanceIdsInSet(HDEVINFO devices);

// How often an open that another handle's sharing refuses is tried again.
inline constexpr int kAppendRetries = 20;

// AppendToFile, calling `pause` before each retry.
bool AppendToFile(const std::filesystem::path& path, std::string_view bytes,
                  const std::function<void()>& pause);

// FormatMessageW's text for `id` from `source` (FORMAT_MESSAGE_FROM_SYSTEM and
// no table, for the program), whole and with its inserts as they stand.
std::u16string MessageText(DWORD source, const void* table, DWORD id);

}  // namespace platform::win32
