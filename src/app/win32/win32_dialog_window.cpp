#include "app/win32/win32_dialog_window.h"

#include <string>
#include <utility>

#include "app/control_ids.h"
#include "app/main_dlg.h"
#include "app/win32/center_window.h"
#include "card/notice_text.h"

namespace app::win32 {
namespace {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Win32 text is UTF-16");

// The system wants terminated text.
std::wstring Terminated(std::u16string_view text) {
    return std::wstring(reinterpret_cast<const wchar_t*>(text.data()), text.size());
}

std::u16string FromWide(const wchar_t* text, std::size_t length) {
    return std::u16string(reinterpret_cast<const char16_t*>(text), length);
}

}  // namespace

Win32DialogWindow::~Win32DialogWindow() {
    if (busyDepth_ > 0) {
        SetCursor(cursorBeforeBusy_);
    }
}

INT_PTR Win32DialogWindow::Run(HINSTANCE templateModule) {
    return DialogBoxParamW(templateModule, MAKEINTRESOURCEW(IDD_MAIN), GetActiveWindow(),
                           &Win32DialogWindow::DialogProc, reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK Win32DialogWindow::DialogProc(HWND window, UINT message, WPARAM wParam,
                                               LPARAM lParam) {
    auto* self = reinterpret_cast<Win32DialogWindow*>(GetWindowLongPtrW(window, DWLP_USER));
    if (message == WM_INITDIALOG) {
        self = reinterpret_cast<Win32DialogWindow*>(lParam);
        SetWindowLongPtrW(window, DWLP_USER, lParam);
        self->window_ = window;
        self->postTarget_ = window;
    }
    if (self == nullptr) {
        // The few messages before WM_INITDIALOG go to the dialog manager.
        return FALSE;
    }
    const INT_PTR handled = self->Handle(message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(window, DWLP_USER, 0);
        self->postTarget_ = nullptr;
        self->window_ = nullptr;
    }
    return handled;
}

INT_PTR Win32DialogWindow::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    if (proc_ == nullptr) {
        return FALSE;
    }
    // A single-line edit reports the program's own SetDlgItemTextW as a change;
    // the logic hears only about the user's edits.
    if (message == WM_COMMAND && HIWORD(wParam) == EN_CHANGE && settingText_ > 0) {
        return TRUE;
    }
    if (message == WM_ACTIVATE && LOWORD(wParam) != WA_INACTIVE && pendingFocus_ != nullptr) {
        ::SetFocus(std::exchange(pendingFocus_, nullptr));
        SetWindowLongPtrW(window_, DWLP_MSGRESULT, 0);
        return TRUE;
    }
    std::intptr_t result = 0;
    if (!proc_->ProcessWindowMessage(message, wParam, lParam, result)) {
        return FALSE;
    }
    if (message == WM_INITDIALOG) {
        // FALSE: the logic has placed the focus itself.
        return static_cast<INT_PTR>(result);
    }
    SetWindowLongPtrW(window_, DWLP_MSGRESULT, result);
    return TRUE;
}

void Win32DialogWindow::SetText(int id, std::u16string_view text) {
    const std::wstring value = Terminated(text);
    ++settingText_;
    SetDlgItemTextW(window_, id, value.empty() ? nullptr : value.c_str());
    --settingText_;
}

void Win32DialogWindow::SetAnsiText(int id, std::string_view bytes) {
    SetText(id, notice_text::FromStored(bytes));
}

std::u16string Win32DialogWindow::GetText(int id) {
    HWND control = Item(id);
    if (control == nullptr) {
        return {};
    }
    const int length = GetWindowTextLengthW(control);
    if (length <= 0) {
        return {};
    }
    std::wstring buffer(static_cast<std::size_t>(length) + 1, L'\0');
    const int copied = GetWindowTextW(control, buffer.data(), length + 1);
    return FromWide(buffer.data(), static_cast<std::size_t>(copied > 0 ? copied : 0));
}

unsigned Win32DialogWindow::GetTextLength(int id) {
    return static_cast<unsigned>(SendDlgItemMessageW(window_, id, WM_GETTEXTLENGTH, 0, 0));
}

void Win32DialogWindow::Enable(int id, bool enable) {
    if (HWND control = Item(id)) {
        EnableWindow(control, enable ? TRUE : FALSE);
    }
}

void Win32DialogWindow::Repaint(int id) {
    if (HWND control = Item(id)) {
        UpdateWindow(control);
    }
}

void Win32DialogWindow::SetFocus(int id) {
    if (HWND control = Item(id)) {
        ::SetFocus(control);
        // While a message box is open the dialog is disabled and keeps its focus;
        // when the box closes the dialog manager would give the focus back to the
        // control that had it then, maybe one disabled since, maybe Exit. The
        // control asked for takes it when the dialog is active again.
        pendingFocus_ = GetFocus() == control ? nullptr : control;
    }
}

void Win32DialogWindow::LimitText(int id, unsigned limit) {
    SendDlgItemMessageW(window_, id, EM_LIMITTEXT, limit, 0);
    // The card's capacity counts bytes, which the edit's own limit cannot.
    if (id == IDC_NOTICE) {
        noticeLimit_.Attach(Item(id));
        noticeLimit_.SetLimit(limit);
    }
}

void Win32DialogWindow::ListAdd(int id, std::u16string_view text) {
    const std::wstring value = Terminated(text);
    SendDlgItemMessageW(window_, id, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(value.c_str()));
}

void Win32DialogWindow::ListSelect(int id, int index) {
    const auto count = SendDlgItemMessageW(window_, id, LB_GETCOUNT, 0, 0);
    // An index past the end would leave the old selection standing.
    const WPARAM entry =
        index >= 0 && index < count ? static_cast<WPARAM>(index) : static_cast<WPARAM>(-1);
    SendDlgItemMessageW(window_, id, LB_SETCURSEL, entry, 0);
}

int Win32DialogWindow::ListSelection(int id) {
    HWND list = Item(id);
    if (list == nullptr) {
        return -1;
    }
    const auto index = SendMessageW(list, LB_GETCURSEL, 0, 0);
    return index == LB_ERR ? -1 : static_cast<int>(index);
}

std::u16string Win32DialogWindow::ListText(int id, int index) {
    HWND list = Item(id);
    if (list == nullptr || index < 0) {
        return {};
    }
    const auto length = SendMessageW(list, LB_GETTEXTLEN, static_cast<WPARAM>(index), 0);
    if (length == LB_ERR) {
        return {};
    }
    std::wstring buffer(static_cast<std::size_t>(length) + 1, L'\0');
    const auto copied = SendMessageW(list, LB_GETTEXT, static_cast<WPARAM>(index),
                                     reinterpret_cast<LPARAM>(buffer.data()));
    return copied == LB_ERR ? std::u16string()
                            : FromWide(buffer.data(), static_cast<std::size_t>(copied));
}

void Win32DialogWindow::CenterWindow() {
    CenterDialog(window_);
}

void Win32DialogWindow::EndDialog(int result) {
    ::EndDialog(window_, result);
}

void Win32DialogWindow::SetBusy(bool busy) {
    // The work that follows blocks this thread, so nothing resets the cursor
    // until it is put back here.
    if (busy) {
        if (busyDepth_++ == 0) {
            cursorBeforeBusy_ = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
        }
    } else if (busyDepth_ > 0 && --busyDepth_ == 0) {
        SetCursor(cursorBeforeBusy_ != nullptr ? cursorBeforeBusy_
                                               : LoadCursorW(nullptr, IDC_ARROW));
    }
}

int Win32DialogWindow::ShowMessageBox(std::u16string_view text, std::u16string_view caption,
                                      std::uint32_t style) {
    const std::wstring body = Terminated(text);
    const std::wstring title = Terminated(caption);
    return MessageBoxW(window_, body.c_str(), title.c_str(), style);
}

void Win32DialogWindow::Post(std::uint32_t message, std::uintptr_t wParam) {
    if (HWND target = postTarget_.load()) {
        PostMessageW(target, message, wParam, 0);
    }
}

}  // namespace app::win32
