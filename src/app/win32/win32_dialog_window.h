#pragma once
// The main dialog as a native Win32 dialog made from resource template 8: the
// dialog procedure forwards every message to the window logic, and the window
// operations are the dialog manager's own calls, so the platform's behaviour is
// the contract the other front ends imitate.

#include <windows.h>

#include <atomic>
#include <cstdint>

#include "app/card_session.h"
#include "app/dialog_window.h"
#include "app/monitor_window.h"
#include "app/win32/notice_byte_limit.h"
#include "monitor/message_poster.h"

namespace app::win32 {

class Win32DialogWindow final : public IDialogWindow, public IMessagePoster {
public:
    Win32DialogWindow() = default;
    ~Win32DialogWindow();
    Win32DialogWindow(const Win32DialogWindow&) = delete;
    Win32DialogWindow& operator=(const Win32DialogWindow&) = delete;

    // The logic that receives this window's messages.
    void SetProc(CDialogProc* proc) { proc_ = proc; }

    // Runs the dialog of `templateModule` modally; returns its result, or -1 when
    // the dialog could not be created.
    INT_PTR Run(HINSTANCE templateModule);

    // IDialogWindow
    void SetText(int id, std::u16string_view text) override;
    void SetAnsiText(int id, std::string_view bytes) override;
    std::u16string GetText(int id) override;
    unsigned GetTextLength(int id) override;
    void Enable(int id, bool enable) override;
    void Repaint(int id) override;
    void SetFocus(int id) override;
    void LimitText(int id, unsigned limit) override;
    void ListAdd(int id, std::u16string_view text) override;
    void ListSelect(int id, int index) override;
    int ListSelection(int id) override;
    std::u16string ListText(int id, int index) override;
    void CenterWindow() override;
    void EndDialog(int result) override;
    void SetBusy(bool busy) override;
    IMessagePoster* MessageTarget() override { return this; }
    int ShowMessageBox(std::u16string_view text, std::u16string_view caption,
                       std::uint32_t style) override;

    // IMessagePoster: the monitor thread posts here.
    void Post(std::uint32_t message, std::uintptr_t wParam) override;

private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR Handle(UINT message, WPARAM wParam, LPARAM lParam);
    HWND Item(int id) const { return GetDlgItem(window_, id); }

    CDialogProc* proc_ = nullptr;
    HWND window_ = nullptr;
    // The monitor thread reads it; set before the monitor can start, cleared
    // after it has been stopped.
    std::atomic<HWND> postTarget_{nullptr};
    // Set while the program itself changes a control's text.
    int settingText_ = 0;
    int busyDepth_ = 0;
    HCURSOR cursorBeforeBusy_ = nullptr;
    NoticeByteLimit noticeLimit_;
    // Where the logic put the focus while the dialog could not take it.
    HWND pendingFocus_ = nullptr;
};

}  // namespace app::win32
