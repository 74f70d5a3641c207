#pragma once
// Input for a dialog from outside its thread, delivered the way the system
// delivers a user's: posted to the control, so that a command which opens a
// message box never blocks the sender. The screenshot tool and the dialog's test
// drive the real window with it.

#include <windows.h>

#include <functional>
#include <string>
#include <string_view>

namespace app::win32 {

// A click on one of the dialog's buttons.
void PostClick(HWND dialog, int id);
// Typed characters, one WM_CHAR each; '\r' is the Enter key.
void PostChars(HWND control, std::u16string_view text);
// A key pressed and released in whichever control of `thread` has the focus
// (`fallback` when none has).
void PostKeyToFocus(DWORD thread, HWND fallback, UINT virtualKey);
// A window's text, also of a control on another thread or in another process;
// empty when the window does not answer within a few seconds.
std::u16string WindowText(HWND window);
// Polls `done` every 20 ms; false when `timeoutMs` passed first.
bool WaitUntil(const std::function<bool()>& done, DWORD timeoutMs);

}  // namespace app::win32
