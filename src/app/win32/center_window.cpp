#include "app/win32/center_window.h"

#include <algorithm>

namespace app::win32 {

void CenterDialog(HWND dialog) {
    RECT area{};
    if (!SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0)) {
        return;
    }
    const bool child = (GetWindowLongW(dialog, GWL_STYLE) & WS_CHILD) != 0;
    HWND owner = child ? GetParent(dialog) : GetWindow(dialog, GW_OWNER);
    RECT over = area;
    if (owner != nullptr && IsWindowVisible(owner) && !IsIconic(owner)) {
        GetWindowRect(owner, &over);
    }
    RECT frame{};
    GetWindowRect(dialog, &frame);
    const LONG width = frame.right - frame.left;
    const LONG height = frame.bottom - frame.top;
    LONG left = (over.left + over.right - width) / 2;
    LONG top = (over.top + over.bottom - height) / 2;
    // Too big for the work area: the top-left corner stays visible.
    left = std::max(std::min(left, area.right - width), area.left);
    top = std::max(std::min(top, area.bottom - height), area.top);
    if (child) {
        // A child is placed in its parent's client coordinates.
        POINT corner{left, top};
        MapWindowPoints(nullptr, owner, &corner, 1);
        left = corner.x;
        top = corner.y;
    }
    SetWindowPos(dialog, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace app::win32
