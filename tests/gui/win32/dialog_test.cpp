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
#include <utility>
#include <vector>

#include "app/control_ids.h"
#include "app/main_dlg.h"
#include "app/win32/center_window.h"
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
            // A failed test must still end the dialog and any box it left open;
            // text a test left unsaved is given up when Exit asks. Exit is not
            // pressed again while its question may still be coming.
            ULONGLONG lastExit = 0;
            WaitUntil(
                [&] {
                    if (HWND box = FindWindowW(L"#32770", L"Error")) {
                        PostMessageW(box, WM_CLOSE, 0, 0);
                    }
                    if (HWND question = FindWindowW(L"#32770", L"Exit")) {
                        PostClick(question, IDYES);
                    } else if (GetTickCount64() - lastExit > 1000) {
                        PostMessageW(dialog_, WM_COMMAND, kIdCancel, 0);
                        lastExit = GetTickCount64();
                    }
                    return result_ != kRunning;
                },
                kWaitMs);
            ui_.join();
        }
        platform::SetAnsiCodePageOverride(std::nullopt);
    }

    void Open(ReaderEnumerator readers = [](std::vector<std::u16string>& names) {
        EnumReaders(names);
    }) {
        ui_ = std::thread([this, readers] {
            platform::ScopedThreadLocale english(0x0409);
            uiThread_ = GetCurrentThreadId();
            Win32DialogWindow window;
            result_ = RunMainDialog(window, MifareCardFactory(platform::ProgramModule()), readers,
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
    HWND Focus() {
        GUITHREADINFO info{};
        info.cbSize = sizeof(info);
        return GetGUIThreadInfo(uiThread_, &info) ? info.hwndFocus : nullptr;
    }
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
    EXPECT_EQ(focus.hwndFocus, Item(IDC_READER));
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

    // A key is six characters: a seventh is refused, so the backspace after it
    // takes the sixth.
    PostChars(Item(IDC_NEW_ACCESS_KEY), u"1234567\b");
    ASSERT_TRUE(Wait([&] { return Text(IDC_NEW_ACCESS_KEY) == u"12345"; },
                     "the key edit took a seventh character"));

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

// The card slips away during a Save: the error box closes onto the reader list,
// not Exit, and the text waits, read-only, until the card is back to be saved.
TEST_F(Win32DialogTest, ACutSaveKeepsTheTextAndNoBoxLeavesTheFocusOnExit) {
    Open();
    Click(IDC_CONNECT);
    ASSERT_TRUE(Wait([&] { return Enabled(IDC_DISCONNECT); }, "Connect did not connect COM1"));
    EXPECT_EQ(Focus(), Item(IDC_READER));
    field_.NewCard("COM1", vreader::CardKind::kClassic1K, vreader::Bytes{1, 2, 3, 4}, "demo.mfd");
    ASSERT_TRUE(Wait([&] { return Enabled(IDC_LOAD); }, "the card did not enable Load"));
    Click(IDC_LOAD);
    ASSERT_TRUE(Wait([&] { return Enabled(IDC_NOTICE); }, "Load did not open the notice"));
    // Longer than one block: Save takes more than one write.
    PostChars(Item(IDC_NOTICE), u"Hello from two blocks!");
    ASSERT_TRUE(Wait([&] { return Text(IDC_USAGE) == u"22 / 750"; }, "typing did not show"));

    field_.RemoveCardAfter("COM1", "Write", 1);
    Click(IDC_SAVE);
    HWND box = nullptr;
    ASSERT_TRUE(Wait([&] { return (box = FindWindowW(L"#32770", L"Error")) != nullptr; },
                     "the cut Save showed no box"));
    ASSERT_TRUE(Wait([&] { return !Enabled(IDC_LOAD); }, "the removal was not handled"));
    PostClick(box, IDOK);
    ASSERT_TRUE(Wait([&] { return !IsWindow(box) && Focus() == Item(IDC_READER); },
                     "the focus did not go to the reader list"));
    EXPECT_FALSE(Enabled(IDC_NOTICE));
    EXPECT_EQ(Text(IDC_NOTICE), u"Hello from two blocks!");
    EXPECT_EQ(Text(IDC_USAGE), u"22 / 750");

    // Esc asks before the unsaved text goes; No keeps the window.
    PostKeyToFocus(uiThread_, dialog_, VK_ESCAPE);
    HWND question = nullptr;
    ASSERT_TRUE(Wait([&] { return (question = FindWindowW(L"#32770", L"Exit")) != nullptr; },
                     "Esc did not ask about the unsaved text"));
    PostClick(question, IDNO);
    ASSERT_TRUE(Wait([&] { return !IsWindow(question); }, "No did not close the question"));
    EXPECT_EQ(result_, kRunning);

    field_.PlaceCard("demo.mfd", "COM1");
    ASSERT_TRUE(Wait([&] { return Enabled(IDC_NOTICE) && Enabled(IDC_SAVE); },
                     "the same card did not take the text back"));
    Click(IDC_SAVE);
    ASSERT_TRUE(Wait([&] { return NoticeOnCard(8) == std::string("\x16\x00Hello ", 8); },
                     "the second Save did not store the text"));
    PostKeyToFocus(uiThread_, dialog_, VK_ESCAPE);
    ASSERT_TRUE(Wait([&] { return result_ != kRunning; }, "Esc did not end the dialog once saved"));
}

// Unowned, the dialog sits in the middle of the work area; the readers are listed
// as a sorted list box sorts, letter case aside, with the first selected; the
// close box ends the dialog as Cancel does.
TEST_F(Win32DialogTest, OpensCentredListsReadersSortedAndTheCloseBoxCancels) {
    Open([](std::vector<std::u16string>& names) { names = {u"usb2", u"COM3", u"b", u"Alpha"}; });
    RECT area{}, frame{};
    ASSERT_TRUE(SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0));
    GetWindowRect(dialog_, &frame);
    EXPECT_NEAR(frame.left + frame.right, area.left + area.right, 1);
    EXPECT_NEAR(frame.top + frame.bottom, area.top + area.bottom, 1);

    HWND list = Item(IDC_READER);
    std::vector<std::u16string> listed;
    for (LRESULT i = 0, count = SendMessageW(list, LB_GETCOUNT, 0, 0); i < count; ++i) {
        std::wstring entry(static_cast<std::size_t>(SendMessageW(list, LB_GETTEXTLEN, i, 0)),
                           L'\0');
        SendMessageW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(entry.data()));
        listed.emplace_back(entry.begin(), entry.end());
    }
    EXPECT_EQ(listed, (std::vector<std::u16string>{u"Alpha", u"b", u"COM3", u"usb2"}));
    EXPECT_EQ(SendMessageW(list, LB_GETCURSEL, 0, 0), 0);

    PostMessageW(dialog_, WM_SYSCOMMAND, SC_CLOSE, 0);
    ASSERT_TRUE(Wait([&] { return result_ != kRunning; }, "the close box did not end the dialog"));
    EXPECT_EQ(result_, kIdCancel);
}

// Over a visible owner the dialog is centred on the owner, but never leaves the
// work area: an owner at the edge pushes it back in, and one too big for the
// area keeps its top-left corner in sight.
TEST(CenterDialog, CentresOnTheOwnerWithinTheWorkArea) {
    RECT area{};
    ASSERT_TRUE(SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0));
    const auto popup = [](HWND owner, int x, int y, int width, int height) {
        return CreateWindowExW(0, L"STATIC", L"", WS_POPUP | WS_VISIBLE, x, y, width, height, owner,
                               nullptr, GetModuleHandleW(nullptr), nullptr);
    };
    const auto placed = [](HWND window) {
        RECT frame{};
        GetWindowRect(window, &frame);
        return std::pair{frame.left, frame.top};
    };
    HWND owner = popup(nullptr, area.left + 100, area.top + 100, 400, 300);
    HWND dialog = popup(owner, 0, 0, 200, 100);
    ASSERT_NE(dialog, nullptr);
    CenterDialog(dialog);
    EXPECT_EQ(placed(dialog), std::pair(area.left + 200, area.top + 200));

    SetWindowPos(owner, nullptr, area.right - 100, area.bottom - 50, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    CenterDialog(dialog);
    EXPECT_EQ(placed(dialog), std::pair(area.right - 200, area.bottom - 100));

    SetWindowPos(dialog, nullptr, 0, 0, area.right - area.left + 50, area.bottom - area.top + 50,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    CenterDialog(dialog);
    EXPECT_EQ(placed(dialog), std::pair(area.left, area.top));
    DestroyWindow(dialog);
    DestroyWindow(owner);
}

}  // namespace
}  // namespace app::win32
