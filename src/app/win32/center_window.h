#pragma once
// Where a dialog first appears.

#include <windows.h>

namespace app::win32 {

// Centres `dialog` over its owner when the owner is visible and not minimised,
// otherwise over the screen's work area; either way it stays inside the work area.
void CenterDialog(HWND dialog);

}  // namespace app::win32
