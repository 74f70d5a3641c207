#pragma once
// The calling thread's last-error value, in the Win32 numbering the program's
// callers expect (0 success, 8 not enough memory, 127 procedure not found,
// 1056 already running ...). On Windows it is the system's own value.

#include <cstdint>
#include <system_error>

namespace platform {

inline constexpr std::uint32_t kErrorSuccess = 0;
inline constexpr std::uint32_t kErrorFileNotFound = 2;
inline constexpr std::uint32_t kErrorNotEnoughMemory = 8;
inline constexpr std::uint32_t kErrorInvalidParameter = 87;
inline constexpr std::uint32_t kErrorModNotFound = 126;
inline constexpr std::uint32_t kErrorProcNotFound = 127;
inline constexpr std::uint32_t kErrorServiceAlreadyRunning = 1056;

std::uint32_t GetLastErrorValue();
void SetLastErrorValue(std::uint32_t value);

// Maps an errno value to the nearest Win32 error code.
std::uint32_t Win32ErrorFromErrno(int errnoValue);
// The Win32 error code of a standard library error: the system's own value on
// Windows, an errno value mapped elsewhere.
std::uint32_t Win32ErrorOf(const std::error_code& code);

}  // namespace platform
