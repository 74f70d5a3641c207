#pragma once
#include <cstdint>

// A 32-bit status in the Windows HRESULT form: negative means failure.
using HResult = std::int32_t;

inline constexpr HResult kEFail = static_cast<HResult>(0x80004005u);
inline constexpr HResult kEOutOfMemory = static_cast<HResult>(0x8007000Eu);
inline constexpr HResult kEInvalidArg = static_cast<HResult>(0x80070057u);

// HRESULT_FROM_WIN32: a system error code as a failure status (E_FAIL for 0).
inline constexpr HResult HResultFromWin32(std::uint32_t error) {
    return error == 0 ? kEFail : static_cast<HResult>(0x80070000u | (error & 0xFFFFu));
}
