#include "platform/system_message.h"

#include <windows.h>

namespace platform {

std::u16string SystemMessageForHResult(std::int32_t hresult) {
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(hresult), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    if (length == 0 || text == nullptr) {
        return {};
    }
    std::u16string message(reinterpret_cast<const char16_t*>(text), length);
    LocalFree(text);
    return message;
}

}  // namespace platform
