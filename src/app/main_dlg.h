#pragma once
// The main window's logic, free of any toolkit: which control changes, in which
// order, on which message. A front end creates the controls, forwards window
// messages to ProcessWindowMessage and carries out the IDialogWindow operations.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "app/card_session.h"
#include "app/dialog_window.h"
#include "app/monitor_window.h"
#include "monitor/message_poster.h"

namespace app {

class CMainDlg : public CMonitorWindow<kMonitorMessage> {
public:
    CMainDlg(IDialogWindow& window, CardFactory makeCard, ReaderEnumerator enumReaders);
    ~CMainDlg() override;
    CMainDlg(const CMainDlg&) = delete;
    CMainDlg& operator=(const CMainDlg&) = delete;

    bool ProcessWindowMessage(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam,
                              std::intptr_t& result) override;

    void OnCardPresent(std::uint16_t cardType) override;
    void OnCardRemoved() override;

    // Observers for the front ends and tests.
    std::uint32_t Capacity() const { return capacity_; }
    bool HasCardObject() const { return card_ != nullptr; }

private:
    void OnInitDialog();
    void OnDestroy();
    void OnConnect();
    void OnDisconnect();
    void OnLoad();
    void OnSave();
    void OnChange();
    void RefreshUsage();
    // Bytes Save would store for the editor's text now.
    unsigned NoticeBytes();
    bool NoticeUnedited();
    // A notice is in the editor and the card is not known to hold it: edited since
    // Load or the last Save, or a Save of it did not finish.
    bool NoticeUnsaved();
    void OnExit();
    // Called when a usable card comes while a notice is kept: the same card takes
    // the notice back, another card drops it.
    void ResumeKeptNotice();

    void ClearNotice();
    void EnableCardControls(bool enable);

    // Runs a command's work and shows whatever it throws of the three kinds the
    // window knows; the command then simply ends.
    template <typename Work>
    void Guarded(Work&& work);

    bool ReaderConnected() const;

    IDialogWindow& window_;
    CardFactory makeCard_;
    ReaderEnumerator enumReaders_;
    std::uint32_t capacity_ = 0;
    // The notice as Load found it on the card and as the editor then showed it:
    // the editor turns a lone CR or LF into a CR LF line break, so an unedited
    // notice is saved back from the card's own bytes.
    std::string loadedBytes_;
    std::optional<std::u16string> shownText_;
    // The editor's text as the card holds it, once Load or Save has made sure.
    std::optional<std::u16string> onCard_;
    // The card the editor's notice came from.
    SelectedTag noticeCard_{};
    // An unsaved notice whose card has left: shown, read-only, until that card
    // comes back.
    bool kept_ = false;
    std::unique_ptr<ICardSession> card_;
};

// Runs the main dialog's logic in `window` (a front end's window with SetProc) for
// as long as `runModal` runs the window's modal loop, and returns its result.
template <typename Window, typename RunModal>
auto RunMainDialog(Window& window, CardFactory makeCard, ReaderEnumerator enumReaders,
                   RunModal&& runModal) {
    CMainDlg dialog(window, std::move(makeCard), std::move(enumReaders));
    window.SetProc(&dialog);
    const auto result = std::forward<RunModal>(runModal)();
    window.SetProc(nullptr);
    return result;
}

}  // namespace app
