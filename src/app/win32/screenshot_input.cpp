// Puts the running program's window into the state the documentation shows:
// connected to COM1, the card's notice loaded and a few lines typed. With
// --close it closes the window instead. Used by scripts/screenshot-windows.sh,
// which places the card and takes the picture.

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <functional>

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
        return 0;
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
    app::win32::PostChars(notice, u"Meeting room B, 14:00\rBring the reader.");
    if (!Step("the typed notice did not arrive", [&] {
            return app::win32::WindowText(notice) == u"Meeting room B, 14:00\r\nBring the reader.";
        })) {
        return 1;
    }
    return 0;
}
