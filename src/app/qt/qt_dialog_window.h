#pragma once
// The main dialog as a Qt 6 Widgets window: the template's controls at the
// template's proportions, carrying out the window operations of the dialog
// logic with the Win32 dialog's behaviour, and delivering the presence
// monitor's posted messages on the window thread.

#include <QDialog>
#include <QHash>
#include <cstdint>

#include "app/card_session.h"
#include "app/dialog_window.h"
#include "app/monitor_window.h"
#include "monitor/message_poster.h"

class QListWidget;

namespace app::qt {

class NoticeEdit;

class QtDialogWindow final : public QDialog, public IDialogWindow, public IMessagePoster {
public:
    explicit QtDialogWindow(QWidget* parent = nullptr);
    ~QtDialogWindow() override;

    // The logic that receives this window's messages.
    void SetProc(CDialogProc* proc) { proc_ = proc; }

    // Sends WM_INITDIALOG; false when the logic ended the dialog during it.
    bool Initialize();
    // Sends WM_DESTROY.
    void Destroy();
    // The whole modal life: initialise, run unless ended, destroy. Returns the
    // dialog's result.
    int Run();

    int DialogResult() const { return dialogResult_; }
    bool Ended() const { return ended_; }
    bool EverShown() const { return everShown_; }

    QWidget* Control(int id) const { return controls_.value(id, nullptr); }
    NoticeEdit* Notice() const { return notice_; }
    // One dialog unit of the template's width and height, in pixels.
    double BaseUnitX() const { return baseX_ / 4.0; }
    double BaseUnitY() const { return baseY_ / 8.0; }
    QRect DialogUnitsToPixels(int x, int y, int width, int height) const;

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

    // IMessagePoster: any thread.
    void Post(std::uint32_t message, std::uintptr_t wParam) override;

    // Esc and the close box come here, as the Exit button's command.
    void reject() override;

protected:
    void customEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CreateControls();
    bool Dispatch(std::uint32_t message, std::uintptr_t wParam);
    void Command(int id, std::uint16_t notification);
    QListWidget* List(int id) const;

    CDialogProc* proc_ = nullptr;
    QHash<int, QWidget*> controls_;
    NoticeEdit* notice_ = nullptr;
    int baseX_ = 0;
    int baseY_ = 0;
    int dialogResult_ = 0;
    bool ended_ = false;
    bool everShown_ = false;
    int busyDepth_ = 0;
};

}  // namespace app::qt
