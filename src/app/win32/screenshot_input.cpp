// Puts the running program's window into the state the documentation shows:
// connected to COM1, the card's notice loaded and replaced by a few typed lines.
// With --close it closes the window instead, unsaved notice and all. Used by
// scripts/screenshot-windows.sh, which places the card and takes the picture.
//
// With --save it also checks that COM1 is in the reader list, saves the typed
// notice and closes the window: scripts/windows-check.sh drives the unpacked zip's
// program so, then reads the card.

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>

#include "app/control_ids.h"
#include "app/win32/dialog_input.h"

namespace {

using app::win32::WaitUntil;

constexpr DWORD kStepTimeoutMs = 20000;

bool Step(const char* what, const std::function<bool()>& done) {
    if (WaitUntil(done, kStepTimeoutMs)) {
        return true;
    }
    std::fprintf(stderr, "tagquill-screenshot: %s\n", what);
    return false;
}

bool ListsReader(HWND list, const std::wstring& name) {
    DWORD_PTR count = 0;
    if (!SendMessageTimeoutW(list, LB_GETCOUNT, 0, 0, SMTO_ABORTIFHUNG, 5000, &count)) {
        return false;
    }
    for (DWORD_PTR i = 0; i < count; ++i) {
        wchar_t item[64] = {};
        DWORD_PTR length = 0;
        if (SendMessageTimeoutW(list, LB_GETTEXTLEN, i, 0, SMTO_ABORTIFHUNG, 5000, &length) &&
            length < 64 &&
            SendMessageTimeoutW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(item),
                                SMTO_ABORTIFHUNG, 5000, &length) &&
            name == item) {
            return true;
        }
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    HWND dialog = nullptr;
    if (!Step("the window \"SDK sample : Tagquill\" did not appear", [&] {
            dialog = FindWindowW(L"#32770", L"SDK sample : Tagquill");
            return dialog != nullptr && IsWindowVisible(dialog);
        })) {
        return 1;
    }
    if (argc > 1 && std::strcmp(argv[1], "--close") == 0) {
        PostMessageW(dialog, WM_CLOSE, 0, 0);
        // The typed notice is not on the card, so the window asks before it goes.
        HWND question = nullptr;
        return Step("the window did not close",
                    [&] {
                        if (question == nullptr &&
                            (question = FindWindowW(L"#32770", L"Exit")) != nullptr) {
                            app::win32::PostClick(question, IDYES);
                        }
                        return !IsWindow(dialog);
                    })
                   ? 0
                   : 1;
    }
    const bool save = argc > 1 && std::strcmp(argv[1], "--save") == 0;
    if (save && !Step("COM1 is not in the reader list",
                      [&] { return ListsReader(GetDlgItem(dialog, app::IDC_READER), L"COM1"); })) {
        return 1;
    }
    const auto enabled = [&](int id) { return IsWindowEnabled(GetDlgItem(dialog, id)) != FALSE; };
    app::win32::PostClick(dialog, app::IDC_CONNECT);
    if (!Step("no card became usable on the first reader",
              [&] { return enabled(app::IDC_LOAD); })) {
        return 1;
    }
    app::win32::PostClick(dialog, app::IDC_LOAD);
    if (!Step("Load did not open the notice", [&] { return enabled(app::IDC_NOTICE); })) {
        return 1;
    }
    HWND notice = GetDlgItem(dialog, app::IDC_NOTICE);
    PostMessageW(notice, EM_SETSEL, 0, -1);
    app::win32::PostChars(notice, u"Meeting room B, 14:00\rBring the reader.");
    if (!Step("the typed notice did not arrive", [&] {
            return app::win32::WindowText(notice) == u"Meeting room B, 14:00\r\nBring the reader.";
        })) {
        return 1;
    }
    if (save) {
        // Both are handled in turn on the window's thread: the Save, then the close.
        app::win32::PostClick(dialog, app::IDC_SAVE);
        PostMessageW(dialog, WM_CLOSE, 0, 0);
    }
    return 0;
}
