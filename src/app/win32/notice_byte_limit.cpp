#include "app/win32/notice_byte_limit.h"

#include <commctrl.h>

#include <algorithm>
#include <string>

#include "card/notice_text.h"

namespace app::win32 {
namespace {

constexpr UINT_PTR kSubclassId = 0x7A67;
constexpr WPARAM kCtrlV = 0x16;

std::u16string WindowText(HWND window) {
    const int length = GetWindowTextLengthW(window);
    std::wstring text(static_cast<std::size_t>(length > 0 ? length : 0) + 1, L'\0');
    const int copied = GetWindowTextW(window, text.data(), length + 1);
    return std::u16string(reinterpret_cast<const char16_t*>(text.data()),
                          static_cast<std::size_t>(copied > 0 ? copied : 0));
}

std::u16string ClipboardText(HWND owner) {
    std::u16string text;
    if (!OpenClipboard(owner)) {
        return text;
    }
    if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
        if (const auto* units = static_cast<const wchar_t*>(GlobalLock(data))) {
            text = reinterpret_cast<const char16_t*>(units);
            GlobalUnlock(data);
        }
    }
    CloseClipboard();
    return text;
}

}  // namespace

NoticeByteLimit::~NoticeByteLimit() {
    if (edit_ != nullptr && IsWindow(edit_)) {
        RemoveWindowSubclass(edit_, &NoticeByteLimit::Proc, kSubclassId);
    }
}

void NoticeByteLimit::Attach(HWND edit) {
    if (edit_ == nullptr && edit != nullptr &&
        SetWindowSubclass(edit, &NoticeByteLimit::Proc, kSubclassId,
                          reinterpret_cast<DWORD_PTR>(this))) {
        edit_ = edit;
    }
}

bool NoticeByteLimit::Fits(std::u16string_view inserted) const {
    if (limit_ == 0) {
        return true;
    }
    DWORD start = 0;
    DWORD end = 0;
    SendMessageW(edit_, EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                 reinterpret_cast<LPARAM>(&end));
    std::u16string text = WindowText(edit_);
    const std::size_t from = std::min<std::size_t>(start, text.size());
    const std::size_t to = std::min<std::size_t>(std::max<std::size_t>(end, from), text.size());
    text.replace(from, to - from, inserted);
    return notice_text::StoredSize(text) <= limit_;
}

LRESULT CALLBACK NoticeByteLimit::Proc(HWND edit, UINT message, WPARAM wParam, LPARAM lParam,
                                       UINT_PTR /*id*/, DWORD_PTR self) {
    auto& limit = *reinterpret_cast<NoticeByteLimit*>(self);
    if (message == WM_NCDESTROY) {
        // A subclass must leave before its window goes.
        RemoveWindowSubclass(edit, &NoticeByteLimit::Proc, kSubclassId);
        limit.edit_ = nullptr;
        return DefSubclassProc(edit, message, wParam, lParam);
    }
    bool refused = false;
    if (message == WM_PASTE || (message == WM_CHAR && wParam == kCtrlV)) {
        refused = !limit.Fits(ClipboardText(edit));
    } else if (message == WM_CHAR && wParam == L'\r') {
        // The edit stores Enter as CR LF: both fit, or neither goes in.
        refused = !limit.Fits(u"\r\n");
    } else if (message == WM_CHAR && wParam >= 0x20) {
        const auto unit = static_cast<char16_t>(wParam);
        refused = !limit.Fits(std::u16string_view(&unit, 1));
    }
    if (refused) {
        MessageBeep(MB_OK);
        return 0;
    }
    return DefSubclassProc(edit, message, wParam, lParam);
}

}  // namespace app::win32
