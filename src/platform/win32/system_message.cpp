#include "platform/system_message.h"

#include "platform/win32/steps.h"

namespace platform {

std::u16string SystemMessageForHResult(std::int32_t hresult) {
    return win32::MessageText(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, static_cast<DWORD>(hresult));
}

namespace win32 {

std::u16string MessageText(DWORD source, const void* table, DWORD id) {
    // The system allocates the text, so a long one is shown whole. Its inserts
    // (%1 for a file name and the like) stay as they stand: the program has no
    // values for them, and asked to fill them the call would fail or read
    // arguments that are not there.
    wchar_t* text = nullptr;
    const DWORD length =
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | source,
                       table, id, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    if (length == 0 || text == nullptr) {
        return {};
    }
    std::u16string message(reinterpret_cast<const char16_t*>(text), length);
    LocalFree(text);
    return message;
}

}  // namespace win32

}  // namespace platform
