#pragma once
// The main dialog, described once: the Qt window is built from this table, and a
// test holds the Win32 resource template (win32/main_dialog.rc) to it, so the two
// front ends cannot drift apart. Styles carry their Win32 values, the only
// meaning they have.

#include <cstdint>
#include <string_view>

#include "app/control_ids.h"

namespace app::dialog_template {

// Window and control styles.
inline constexpr std::uint32_t kWsPopup = 0x80000000;
inline constexpr std::uint32_t kWsCaption = 0x00C00000;
inline constexpr std::uint32_t kWsSysMenu = 0x00080000;
inline constexpr std::uint32_t kWsDisabled = 0x08000000;
inline constexpr std::uint32_t kWsBorder = 0x00800000;
inline constexpr std::uint32_t kWsVScroll = 0x00200000;
inline constexpr std::uint32_t kWsGroup = 0x00020000;
inline constexpr std::uint32_t kWsTabStop = 0x00010000;
inline constexpr std::uint32_t kDsModalFrame = 0x80;
inline constexpr std::uint32_t kDsSetFont = 0x40;
inline constexpr std::uint32_t kDsFixedSys = 0x08;
inline constexpr std::uint32_t kBsPushButton = 0x0;
inline constexpr std::uint32_t kBsDefPushButton = 0x1;
inline constexpr std::uint32_t kBsGroupBox = 0x7;
inline constexpr std::uint32_t kSsLeft = 0x0;
inline constexpr std::uint32_t kLbsNotify = 0x1;
inline constexpr std::uint32_t kLbsSort = 0x2;
inline constexpr std::uint32_t kLbsNoIntegralHeight = 0x100;
inline constexpr std::uint32_t kEsMultiline = 0x4;
inline constexpr std::uint32_t kEsAutoVScroll = 0x40;
inline constexpr std::uint32_t kEsAutoHScroll = 0x80;
inline constexpr std::uint32_t kEsWantReturn = 0x1000;
inline constexpr std::uint32_t kWsExStaticEdge = 0x20000;

inline constexpr int kResourceNumber = IDD_MAIN;
inline constexpr std::uint16_t kLanguage = 0x0419;  // Russian
inline constexpr std::uint32_t kStyle =
    kWsPopup | kWsCaption | kWsSysMenu | kDsModalFrame | kDsSetFont | kDsFixedSys;
inline constexpr int kWidth = 416;  // dialog units
inline constexpr int kHeight = 308;
inline constexpr std::u16string_view kTitle = u"SDK sample : Tagquill";
inline constexpr std::u16string_view kFontName = u"MS Shell Dlg";
inline constexpr int kFontPoints = 8;
inline constexpr int kFontWeight = 400;

enum class Kind { GroupBox, List, Button, Static, Edit, Notice };

struct Control {
    int id;
    Kind kind;
    std::u16string_view caption;
    int x, y, width, height;  // dialog units
    std::uint32_t style;      // besides WS_CHILD and WS_VISIBLE, which every control has
    std::uint32_t exStyle;
};

inline constexpr std::uint32_t kEditStyle = kEsAutoHScroll | kWsBorder | kWsGroup | kWsTabStop;
inline constexpr std::uint32_t kLabelStyle = kSsLeft | kWsGroup;

// In template order, which is also the tab order. No push button is the default
// one: Enter in an edit presses nothing.
inline constexpr Control kControls[] = {
    {IDC_STATIC, Kind::GroupBox, u"Reader", 7, 7, 203, 90, kBsGroupBox, 0},
    {IDC_READER, Kind::List, u"", 15, 20, 125, 69,
     kLbsNotify | kLbsSort | kLbsNoIntegralHeight | kWsVScroll | kWsBorder | kWsTabStop, 0},
    {IDC_CONNECT, Kind::Button, u"Connect", 148, 35, 56, 19, kBsPushButton | kWsTabStop, 0},
    {IDC_DISCONNECT, Kind::Button, u"Disconnect", 148, 59, 56, 19,
     kBsPushButton | kWsTabStop | kWsDisabled, 0},
    {IDC_STATIC, Kind::GroupBox, u"Personalize", 217, 47, 192, 49, kBsGroupBox, 0},
    {IDC_ACCESS_KEY_LABEL, Kind::Static, u"Access Key :", 227, 63, 42, 8, kLabelStyle, 0},
    {IDC_ACCESS_KEY, Kind::Edit, u"", 288, 61, 49, 13, kEditStyle, 0},
    {IDC_NEW_ACCESS_KEY_LABEL, Kind::Static, u"New access key :", 227, 79, 56, 8, kLabelStyle, 0},
    {IDC_NEW_ACCESS_KEY, Kind::Edit, u"", 288, 77, 49, 13, kEditStyle, 0},
    {IDC_CHANGE, Kind::Button, u"Change !", 344, 68, 57, 14, kBsPushButton | kWsTabStop, 0},
    {IDC_STATIC, Kind::GroupBox, u"Use", 7, 100, 402, 202, kBsGroupBox, 0},
    {IDC_USE_KEY_LABEL, Kind::Static, u"Access key :", 18, 115, 41, 8, kLabelStyle, 0},
    {IDC_USE_KEY, Kind::Edit, u"", 78, 113, 49, 13, kEditStyle, 0},
    {IDC_LOAD, Kind::Button, u"&Load", 147, 112, 58, 14, kBsPushButton | kWsTabStop, 0},
    {IDC_SAVE, Kind::Button, u"&Save", 211, 112, 58, 14, kBsPushButton | kWsTabStop, 0},
    {IDC_STATIC, Kind::Static, u"Notice file usage :", 18, 133, 58, 8, kLabelStyle, 0},
    {IDC_USAGE, Kind::Static, u"16384 / 16384", 86, 133, 50, 8, kLabelStyle, 0},
    // No border and no scroll bars: the static edge alone frames the notice.
    {IDC_NOTICE, Kind::Notice, u"", 17, 145, 380, 150,
     kEsMultiline | kEsAutoVScroll | kEsWantReturn | kWsTabStop, kWsExStaticEdge},
    {kIdCancel, Kind::Button, u"Exit", 287, 7, 67, 16, kBsPushButton | kWsGroup | kWsTabStop, 0},
    {IDC_STATIC, Kind::Static,
     u"Пример демонстрирует работу с длинными блоками данных на картах Mifare 1K, 4K", 239, 26, 162,
     24, kLabelStyle, 0},
};

}  // namespace app::dialog_template
