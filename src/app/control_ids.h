#pragma once
// The main dialog's control identifiers and the window messages its logic
// handles. The numbers are those of the dialog template, so the Win32 build, the
// Qt front end and the tests all address the same controls.

#include <array>
#include <cstdint>

namespace app {

// The main dialog template's resource number.
inline constexpr int IDD_MAIN = 8;
inline constexpr int IDC_STATIC = -1;
inline constexpr int kIdCancel = 2;
inline constexpr int IDC_CHANGE = 1006;
inline constexpr int IDC_LOAD = 1007;
inline constexpr int IDC_SAVE = 1008;
inline constexpr int IDC_CONNECT = 1009;
inline constexpr int IDC_DISCONNECT = 1010;
inline constexpr int IDC_ACCESS_KEY = 1020;
inline constexpr int IDC_NEW_ACCESS_KEY = 1021;
inline constexpr int IDC_NOTICE = 1022;
inline constexpr int IDC_USE_KEY = 1023;
inline constexpr int IDC_USAGE = 1024;
inline constexpr int IDC_USE_KEY_LABEL = 1025;
inline constexpr int IDC_ACCESS_KEY_LABEL = 1028;
inline constexpr int IDC_NEW_ACCESS_KEY_LABEL = 1029;
inline constexpr int IDC_READER = 1031;

// Switched together, always in this order.
inline constexpr std::array<int, 9> kCardControls = {
    IDC_ACCESS_KEY, IDC_ACCESS_KEY_LABEL, IDC_NEW_ACCESS_KEY, IDC_NEW_ACCESS_KEY_LABEL,
    IDC_CHANGE,     IDC_USE_KEY,          IDC_USE_KEY_LABEL,  IDC_LOAD,
    IDC_SAVE,
};

// Characters an access key edit takes.
inline constexpr unsigned kKeyTextLimit = 6;

// Window messages, with their Win32 numbers.
inline constexpr std::uint32_t kWmDestroy = 0x0002;
inline constexpr std::uint32_t kWmInitDialog = 0x0110;
inline constexpr std::uint32_t kWmCommand = 0x0111;

// WM_COMMAND notifications (the high word of wParam).
inline constexpr std::uint16_t kBnClicked = 0x0000;
inline constexpr std::uint16_t kEnChange = 0x0300;

// wParam of a WM_COMMAND: control id in the low word, notification in the high.
constexpr std::uintptr_t MakeCommand(int id, std::uint16_t notification) {
    return (static_cast<std::uintptr_t>(notification) << 16) |
           (static_cast<std::uintptr_t>(id) & 0xFFFFu);
}

}  // namespace app
