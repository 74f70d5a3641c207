#pragma once
#include <cstdint>
#include <string>

namespace platform {

// The operating system's message text for an HRESULT, as FormatMessage would
// give it (with its trailing line break), or empty when there is none.
std::u16string SystemMessageForHResult(std::int32_t hresult);

}  // namespace platform
