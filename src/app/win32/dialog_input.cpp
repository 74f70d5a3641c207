#include "app/win32/dialog_input.h"

namespace app::win32 {
namespace {

constexpr UINT kAnswerTimeoutMs = 5000;

}  // namespace

void PostClick(HWND dialog, int id) {
    PostMessageW(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

void PostChars(HWND control, std::u16string_view text) {
    for (char16_t unit : text) {
        PostMessageW(control, WM_CHAR, unit, 1);
    }
}

void PostKeyToFocus(DWORD thread, HWND fallback, UINT virtualKey) {
    GUITHREADINFO info{};
    info.cbSize = sizeof(info);
    HWND target =
        GetGUIThreadInfo(thread, &info) && info.hwndFocus != nullptr ? info.hwndFocus : fallback;
    const LPARAM scanCode = static_cast<LPARAM>(MapVirtualKeyW(virtualKey, MAPVK_VK_TO_VSC)) << 16;
    PostMessageW(target, WM_KEYDOWN, virtualKey, scanCode | 1);
    // Bits 30 and 31: the key was down and is being released.
    const auto released = static_cast<LPARAM>(0xC0000000u);
    PostMessageW(target, WM_KEYUP, virtualKey, released | scanCode | 1);
}

std::u16string WindowText(HWND window) {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kAnswerTimeoutMs,
                             &length)) {
        return {};
    }
    std::wstring buffer(length + 1, L'\0');
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXT, buffer.size(),
                             reinterpret_cast<LPARAM>(buffer.data()), SMTO_ABORTIFHUNG,
                             kAnswerTimeoutMs, &copied)) {
        return {};
    }
    return std::u16string(reinterpret_cast<const char16_t*>(buffer.data()), copied);
}

bool WaitUntil(const std::function<bool()>& done, DWORD timeoutMs) {
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    while (!done()) {
        if (GetTickCount64() >= end) {
            return false;
        }
        Sleep(20);
    }
    return true;
}

}  // namespace app::win32
