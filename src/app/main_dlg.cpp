#include "app/main_dlg.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "app/control_ids.h"
#include "card/notice_text.h"
#include "errors/language.h"
#include "errors/show_error.h"

namespace app {
namespace {

// Card work blocks the window thread, sometimes for seconds on a slow reader.
// The cursor must be back before any message box, so the scope ends with the
// work, before the guard's catch clauses run.
class BusyScope {
public:
    explicit BusyScope(IDialogWindow& window) : window_(window) { window_.SetBusy(true); }
    ~BusyScope() { window_.SetBusy(false); }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

private:
    IDialogWindow& window_;
};

std::u16string Decimal(std::uint32_t value) {
    std::u16string digits;
    do {
        digits.insert(digits.begin(), static_cast<char16_t>(u'0' + value % 10));
        value /= 10;
    } while (value != 0);
    return digits;
}

constexpr std::u16string_view kKeyChangedText = u"Code changed successfully !";
constexpr std::u16string_view kKeyChangedCaption = u"Personalization";
constexpr std::u16string_view kSaveCaption = u"Save";
constexpr std::u16string_view kExitCaption = u"Exit";

// Save with nothing loaded writes an empty notice over whatever the card holds,
// and the button sits right beside Load: that takes a yes.
std::u16string_view EmptySaveQuestion() {
    return IsRussianThread()
               ? u"С этой карты ничего не загружено. Заменить заметку на карте пустой?"
               : u"Nothing was loaded from this card. Replace the notice on the card with an "
                 u"empty one?";
}

// Exit sits beside the notice; unsaved text is not thrown away on one click or Esc.
std::u16string_view UnsavedExitQuestion() {
    return IsRussianThread() ? u"Заметка изменена и не сохранена на карте. Выйти без сохранения?"
                             : u"The notice was changed and is not saved on the card. Exit "
                               u"without saving it?";
}

// Change ! empties the notice view before it starts, and the card's notice with the
// key: text typed and not saved would be gone, even when the change then fails.
std::u16string_view UnsavedChangeQuestion() {
    return IsRussianThread()
               ? u"Заметка изменена и не сохранена на карте. Смена ключа стирает заметку. "
                 u"Сменить ключ без сохранения?"
               : u"The notice was changed and is not saved on the card. Change ! erases the "
                 u"notice. Change the key without saving it?";
}

bool SameCard(const SelectedTag& a, const SelectedTag& b) {
    return a.serialNumberLength != 0 && a.serialNumberLength == b.serialNumberLength &&
           std::equal(a.serialNumber.begin(), a.serialNumber.begin() + a.serialNumberLength,
                      b.serialNumber.begin());
}

}  // namespace

CMainDlg::CMainDlg(IDialogWindow& window, CardFactory makeCard, ReaderEnumerator enumReaders)
    : window_(window), makeCard_(std::move(makeCard)), enumReaders_(std::move(enumReaders)) {}

// The front end normally destroys the window first; a card object still here
// must still stop its monitor before the window it posts to goes away.
CMainDlg::~CMainDlg() = default;

bool CMainDlg::ProcessWindowMessage(std::uint32_t message, std::uintptr_t wParam,
                                    std::intptr_t /*lParam*/, std::intptr_t& result) {
    result = 0;
    switch (message) {
        case kWmDestroy:
            OnDestroy();
            return true;
        case kWmInitDialog:
            OnInitDialog();
            return true;
        case kWmCommand: {
            const int id = static_cast<int>(wParam & 0xFFFF);
            const auto notification = static_cast<std::uint16_t>((wParam >> 16) & 0xFFFF);
            if (notification == kBnClicked) {
                switch (id) {
                    case kIdCancel:
                        OnExit();
                        return true;
                    case IDC_CONNECT:
                        OnConnect();
                        return true;
                    case IDC_DISCONNECT:
                        OnDisconnect();
                        return true;
                    case IDC_CHANGE:
                        OnChange();
                        return true;
                    case IDC_LOAD:
                        OnLoad();
                        return true;
                    case IDC_SAVE:
                        OnSave();
                        return true;
                    default:
                        return false;
                }
            }
            if (id == IDC_NOTICE && notification == kEnChange) {
                RefreshUsage();
                return true;
            }
            return false;
        }
        default:
            break;
    }
    if (message == kMessage && !ReaderConnected()) {
        // The monitor may have posted just before Disconnect stopped it; acting on
        // that now would enable the card controls with no reader open.
        return true;
    }
    return ProcessMonitorMessage(message, wParam);
}

template <typename Work>
void CMainDlg::Guarded(Work&& work) {
    CatchProgramErrors(std::forward<Work>(work),
                       [this](const CaughtError& caught) { ShowError(window_, caught); });
}

bool CMainDlg::ReaderConnected() const {
    return card_ != nullptr && card_->IsConnected();
}

void CMainDlg::OnInitDialog() {
    window_.CenterWindow();
    ClearNotice();
    EnableCardControls(false);
    window_.LimitText(IDC_ACCESS_KEY, kKeyTextLimit);
    window_.LimitText(IDC_NEW_ACCESS_KEY, kKeyTextLimit);
    window_.LimitText(IDC_USE_KEY, kKeyTextLimit);

    bool complete = false;
    Guarded([&] {
        std::vector<std::u16string> names;
        if (enumReaders_) {
            enumReaders_(names);
        }
        for (const auto& name : names) {
            window_.ListAdd(IDC_READER, name);
        }
        window_.ListSelect(IDC_READER, 0);
        card_ = makeCard_();
        complete = card_ != nullptr;
    });
    if (!complete) {
        window_.EndDialog(kIdCancel);
    }
}

void CMainDlg::OnDestroy() {
    card_.reset();
}

void CMainDlg::ClearNotice() {
    window_.SetText(IDC_USAGE, u"");
    window_.SetText(IDC_NOTICE, u"");
    window_.Enable(IDC_NOTICE, false);
    window_.Repaint(IDC_NOTICE);
    capacity_ = 0;
    loadedBytes_.clear();
    shownText_.reset();
    onCard_.reset();
    noticeCard_ = {};
    kept_ = false;
}

void CMainDlg::EnableCardControls(bool enable) {
    // Not Exit, where a stray Space or Enter would end the program: the reader
    // list is never disabled, and there those keys only move the selection.
    if (!enable) {
        window_.SetFocus(IDC_READER);
    }
    for (int id : kCardControls) {
        window_.Enable(id, enable);
    }
    if (enable) {
        window_.SetFocus(IDC_USE_KEY);
    }
}

void CMainDlg::OnConnect() {
    const int index = window_.ListSelection(IDC_READER);
    if (index < 0) {
        return;
    }
    // Reader names are at most 255 characters.
    std::u16string name = window_.ListText(IDC_READER, index).substr(0, 255);
    EnableCardControls(false);
    Guarded([&] {
        {
            BusyScope busy(window_);
            card_->SetReaderName(name.c_str());
            card_->Connect();
            try {
                card_->StartMonitor(window_.MessageTarget(), kMessage);
            } catch (...) {
                card_->Disconnect();
                throw;
            }
        }
        window_.Enable(IDC_DISCONNECT, true);
        window_.Enable(IDC_CONNECT, false);
    });
}

void CMainDlg::OnDisconnect() {
    {
        // Stopping the monitor waits for its current listing.
        BusyScope busy(window_);
        card_->Disconnect();
    }
    window_.Enable(IDC_CONNECT, true);
    window_.Enable(IDC_DISCONNECT, false);
    ClearNotice();
    EnableCardControls(false);
}

void CMainDlg::OnExit() {
    if (NoticeUnsaved() &&
        window_.ShowMessageBox(UnsavedExitQuestion(), kExitCaption,
                               kMbYesNo | kMbIconQuestion | kMbDefButton2) != kIdYes) {
        return;
    }
    window_.EndDialog(kIdCancel);
}

void CMainDlg::OnCardPresent(std::uint16_t cardType) {
    if (cardType != kCardTypeMifare1K && cardType != kCardTypeMifare4K) {
        return;
    }
    if (kept_) {
        ResumeKeptNotice();
        if (kept_) {
            return;  // not told which card this is: as good as no usable card
        }
    }
    EnableCardControls(true);
}

void CMainDlg::ResumeKeptNotice() {
    std::optional<SelectedTag> present;
    CatchProgramErrors(
        [&] {
            BusyScope busy(window_);
            present = card_->IdentifyCard();
        },
        [](const CaughtError&) {
            // Most likely gone again already; its removal follows.
        });
    if (!present.has_value()) {
        return;
    }
    if (!SameCard(*present, noticeCard_)) {
        ClearNotice();
        return;
    }
    kept_ = false;
    window_.Enable(IDC_NOTICE, true);
    window_.LimitText(IDC_NOTICE, capacity_);
}

void CMainDlg::OnCardRemoved() {
    if (NoticeUnsaved()) {
        // The text stays on screen for this card to come back; the focus leaves
        // the editor before it goes grey.
        window_.SetFocus(IDC_READER);
        window_.Enable(IDC_NOTICE, false);
        kept_ = true;
    } else {
        ClearNotice();
    }
    EnableCardControls(false);
}

void CMainDlg::OnLoad() {
    Guarded([&] {
        const std::u16string key = window_.GetText(IDC_USE_KEY);
        notice::NoticeContent notice;
        {
            BusyScope busy(window_);
            notice = card_->ReadNotice(key);
        }
        capacity_ = notice.capacity;
        window_.SetAnsiText(IDC_NOTICE, notice.storedText);
        loadedBytes_ = std::move(notice.storedText);
        shownText_ = window_.GetText(IDC_NOTICE);
        onCard_ = shownText_;
        noticeCard_ = card_->SelectedCard();
        kept_ = false;
        RefreshUsage();
        window_.Enable(IDC_NOTICE, true);
        window_.LimitText(IDC_NOTICE, capacity_);
    });
}

void CMainDlg::OnSave() {
    Guarded([&] {
        if (!shownText_.has_value() && window_.GetTextLength(IDC_NOTICE) == 0 &&
            window_.ShowMessageBox(EmptySaveQuestion(), kSaveCaption,
                                   kMbYesNo | kMbIconQuestion | kMbDefButton2) != kIdYes) {
            return;
        }
        const std::u16string key = window_.GetText(IDC_USE_KEY);
        const std::u16string text = window_.GetText(IDC_NOTICE);
        // A cut Save can leave the card with an empty notice: until one finishes,
        // the text is the window's only copy.
        onCard_.reset();
        {
            BusyScope busy(window_);
            // Written back byte for byte: a byte the code page does not define
            // (another tool's) would not survive a round trip through text.
            if (NoticeUnedited()) {
                card_->WriteNoticeBytes(key, loadedBytes_);
            } else {
                card_->WriteNotice(key, text);
            }
        }
        onCard_ = text;
    });
}

void CMainDlg::OnChange() {
    if (NoticeUnsaved() &&
        window_.ShowMessageBox(UnsavedChangeQuestion(), kKeyChangedCaption,
                               kMbYesNo | kMbIconQuestion | kMbDefButton2) != kIdYes) {
        return;
    }
    Guarded([&] {
        const std::u16string newKey = window_.GetText(IDC_NEW_ACCESS_KEY);
        ClearNotice();
        {
            BusyScope busy(window_);
            card_->ChangeAccessKey([&] { return window_.GetText(IDC_ACCESS_KEY); }, newKey);
        }
        window_.SetFocus(IDC_USE_KEY);
        window_.SetText(IDC_USE_KEY, newKey);
        window_.ShowMessageBox(kKeyChangedText, kKeyChangedCaption, kMbOk | kMbIconInformation);
    });
}

void CMainDlg::RefreshUsage() {
    window_.SetText(IDC_USAGE, Decimal(NoticeBytes()) + u" / " + Decimal(capacity_));
}

bool CMainDlg::NoticeUnsaved() {
    return shownText_.has_value() &&
           (!onCard_.has_value() || window_.GetText(IDC_NOTICE) != *onCard_);
}

bool CMainDlg::NoticeUnedited() {
    return shownText_.has_value() && window_.GetText(IDC_NOTICE) == *shownText_;
}

unsigned CMainDlg::NoticeBytes() {
    if (NoticeUnedited()) {
        return static_cast<unsigned>(loadedBytes_.size());
    }
    return static_cast<unsigned>(notice_text::StoredSize(window_.GetText(IDC_NOTICE)));
}

}  // namespace app
