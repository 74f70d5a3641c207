// The Win32 dialog as a user drives it: the real template and window logic on a
// window thread of their own, the card object over the virtual reader's DLLs
// beside the test, and clicks and keys posted to the real controls.

#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/control_ids.h"
#include "app/main_dlg.h"
#include "app/win32/dialog_input.h"
#include "app/win32/win32_dialog_window.h"
#include "control/virtual_field.h"
#include "discovery/reader_discovery.h"
#include "platform/code_page.h"
#include "platform/library.h"
#include "platform/locale.h"

namespace app::win32 {
namespace {

constexpr DWORD kWaitMs = 5000;

class Win32DialogTest : public ::testing::Test {
protected:
    Win32DialogTest() { platform::SetAnsiCodePageOverride(1252); }
    ~Win32DialogTest() override {
        if (ui_.joinable()) {
            // A failed test must still end the dialog and any box it left open.
            WaitUntil(
                [&] {
                    if (HWND box = FindWindowW(L"#32770", L"Error")) {
                        PostMessageW(box, WM_CLOSE, 0, 0);
                    }
                    PostMessageW(dialog_, WM_COMMAND, kIdCancel, 0);
                    return result_ != kRunning;
                },
                kWaitMs);
            ui_.join();
        }
        platform::SetAnsiCodePageOverride(std::nullopt);
    }

    void Open() {
        ui_ = std::thread([this] {
            platform::ScopedThreadLocale english(0x0409);
            uiThread_ = GetCurrentThreadId();
            Win32DialogWindow window;
            result_ = RunMainDialog(
                window, MifareCardFactory(platform::ProgramModule()),
                [](std::vector<std::u16string>& names) { EnumReaders(names); },
                [&] { return window.Run(GetModuleHandleW(nullptr)); });
        });
        ASSERT_TRUE(Wait(
            [&] {
                dialog_ = FindWindowW(L"#32770", L"SDK sample : Tagquill");
                return dialog_ != nullptr && IsWindowVisible(dialog_);
            },
            "the dialog did not open"));
    }
    HWND Item(int id) { return GetDlgItem(dialog_, id); }
    bool Enabled(int id) { return IsWindowEnabled(Item(id)) != FALSE; }
    std::u16string Text(int id) { return WindowText(Item(id)); }
    void Click(int id) {
        ASSERT_TRUE(Enabled(id)) << "control " << id << " is disabled";
        PostClick(dialog_, id);
    }
    ::testing::AssertionResult Wait(const std::function<bool()>& done, const char* failure) {
        if (WaitUntil(done, kWaitMs)) {
            return ::testing::AssertionSuccess();
        }
        return ::testing::AssertionFailure() << failure << " within " << kWaitMs << " ms";
    }
    std::string NoticeOnCard(std::size_t length) {
        const vreader::Bytes image = field_.ReadCard("COM1/demo.mfd");
        return std::string(image.begin(), image.end()).substr(16, length);
    }

    static constexpr INT_PTR kRunning = -100;
    vreader::ScopedVirtualField field_;
    std::thread ui_;
    std::atomic<DWORD> uiThread_{0};
    std::atomic<INT_PTR> result_{kRunning};
    HWND dialog_ = nullptr;
};

// The card counts bytes: a line break is two, and under a double-byte code page
// so is a Japanese character. What does not fit is refused whole.
TEST_F(Win32DialogTest, TheNoticeEditTakesWhatTheCardHoldsCountedInItsBytes) {
    vreader::Bytes image = vreader::MakeBlankCard(vreader::CardKind::kClassic1K);
    const std::string record = std::string("\xED\x02", 2) + std::string(749, 'a');
    for (std::size_t i = 0, block = 1; i < record.size(); ++block) {
        if (block % 4 == 3) {
            continue;  // a trailer
        }
        for (std::size_t j = 0; j < 16 && i < record.size(); ++j, ++i) {
            image[block * 16 + j] = static_cast<std::uint8_t>(record[i]);
        }
    }
    field_.PlaceImage("COM1", image, "demo.mfd");
    Open();
    Click(IDC_CONNECT);
    ASSERT_TRUE(Wait([&] { return Enabled(IDC_LOAD); }, "the card did not enable Load"));
    Click(IDC_LOAD);
    ASSERT_TRUE(Wait([&] { return Text(IDC_USAGE) == u"749 / 750"; }, "Load did not show 749"));
    SendMessageW(Item(IDC_NOTICE), EM_SETSEL, 749, 749);
    // Enter at one byte of room would store half a line break: refused.
    PostChars(Item(IDC_NOTICE), u"\rb");
    ASSERT_TRUE(Wait([&] { return Text(IDC_USAGE) == u"750 / 750"; }, "b did not fit"));
    EXPECT_EQ(Text(IDC_NOTICE).substr(747), u"aab");

    platform::SetAnsiCodePageOverride(932);
    PostChars(Item(IDC_NOTICE), std::u16string(5, u'\b'));
    ASSERT_TRUE(Wait([&] { return Text(IDC_USAGE) == u"745 / 750"; }, "backspace did not erase"));
    // Two characters of two bytes fit in five bytes; a third does not, and the
    // backspace after it shows that it never went in.
    PostChars(Item(IDC_NOTICE), u"\u65E5\u672C\u8A9E\b");
    ASSERT_TRUE(Wait([&] { return Text(IDC_USAGE) == u"747 / 750"; },
                     "the edit took more than the card holds"));
}

TEST_F(Win32DialogTest, NoticeTypedAndSavedReachesTheCardAWrongKeyIsShownAndEscCancels) {
    Open();
    GUITHREADINFO focus{};
    focus.cbSize = sizeof(focus);
    ASSERT_TRUE(GetGUIThreadInfo(uiThread_, &focus));
    EXPECT_EQ(focus.hwndFocus, Item(kIdCancel));
    EXPECT_EQ(Text(IDC_USAGE), u"");
    EXPECT_FALSE(Enabled(IDC_DISCONNECT));
    Click(IDC_CONNECT);
    ASSERT_TRUE(Wait([&] { return Enabled(IDC_DISCONNECT); }, "Connect did not connect COM1"));
    field_.NewCard("COM1", vreader::CardKind::kClassic1K, vreader::Bytes{1, 2, 3, 4}, "demo.mfd");
    ASSERT_TRUE(Wait([&] { return Enabled(IDC_LOAD); }, "the card did not enable Load"));

    Click(IDC_LOAD);
    ASSERT_TRUE(Wait([&] { return Enabled(IDC_NOTICE); }, "Load did not open the notice"));
    // Enter makes a CR LF line break, counted 2; the usage follows the typing.
    PostChars(Item(IDC_NOTICE), u"Hi\rW\u00F6");
    ASSERT_TRUE(Wait([&] { return Text(IDC_USAGE) == u"6 / 750"; }, "the usage did not show 6"));
    Click(IDC_SAVE);
    ASSERT_TRUE(Wait([&] { return NoticeOnCard(8) == std::string("\x06\x00Hi\r\nW\xF6", 8); },
                     "Save did not store the notice in Windows-1252"));

    PostChars(Item(IDC_USE_KEY), u"wrong");
    Click(IDC_LOAD);
    HWND box = nullptr;
    ASSERT_TRUE(Wait([&] { return (box = FindWindowW(L"#32770", L"Error")) != nullptr; },
                     "no error box opened"));
    EXPECT_EQ(WindowText(GetDlgItem(box, 0xFFFF)), u"80004005 : ACR120 : Login failed");
    PostClick(box, IDOK);
    ASSERT_TRUE(Wait([&] { return !IsWindow(box); }, "OK did not close the box"));

    PostKeyToFocus(uiThread_, dialog_, VK_ESCAPE);
    ASSERT_TRUE(Wait([&] { return result_ != kRunning; }, "Esc did not end the dialog"));
    EXPECT_EQ(result_, kIdCancel);
}

}  // namespace
}  // namespace app::win32
