#include "app/qt/qt_dialog_window.h"

#include <QApplication>
#include <QEvent>
#include <QFontMetrics>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <algorithm>
#include <climits>

#include "app/control_ids.h"
#include "app/dialog_template.h"
#include "app/main_dlg.h"
#include "app/qt/notice_edit.h"
#include "card/notice_text.h"

namespace app::qt {
namespace {

// The monitor's posted message travels as this event.
class MonitorEvent final : public QEvent {
public:
    static QEvent::Type Kind() {
        static const auto kind = static_cast<QEvent::Type>(QEvent::registerEventType());
        return kind;
    }
    MonitorEvent(std::uint32_t message, std::uintptr_t wParam)
        : QEvent(Kind()), message_(message), wParam_(wParam) {}
    std::uint32_t Message() const { return message_; }
    std::uintptr_t WParam() const { return wParam_; }

private:
    std::uint32_t message_;
    std::uintptr_t wParam_;
};

// A single-selection list box: a click or a key moves the selection, but
// nothing the user does (Ctrl with a click or Space) takes it away.
class ReaderList final : public QListWidget {
public:
    using QListWidget::QListWidget;

protected:
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex& index,
                                                         const QEvent* event) const override {
        const auto flags = QListWidget::selectionCommand(index, event);
        return flags.testFlag(QItemSelectionModel::Deselect) ? QItemSelectionModel::NoUpdate
                                                             : flags;
    }
};

QString ToQString(std::u16string_view text) {
    return QString(reinterpret_cast<const QChar*>(text.data()),
                   static_cast<qsizetype>(text.size()));
}

std::u16string FromQString(const QString& text) {
    return std::u16string(reinterpret_cast<const char16_t*>(text.utf16()),
                          static_cast<std::size_t>(text.size()));
}

using dialog_template::kControls;
using dialog_template::Kind;

// A label's text as a name: no mnemonic ampersand, no trailing colon.
QString AccessibleName(const QString& caption) {
    QString name = caption;
    name.remove(QLatin1Char('&'));
    if (name.endsWith(QLatin1Char(':'))) {
        name.chop(1);
    }
    return name.trimmed();
}

// What a screen reader calls a field. The two key fields' labels ("Access Key",
// "Access key") differ in letter case only; a listener needs to hear which key
// each one holds.
QString FieldName(int id, const QString& label) {
    switch (id) {
        case IDC_NOTICE:
            return QStringLiteral("Notice");
        case IDC_ACCESS_KEY:
            return QStringLiteral("Current access key, for Change");
        case IDC_USE_KEY:
            return QStringLiteral("Access key for Load and Save");
        default:
            return label;
    }
}

int MulDiv(int value, int numerator, int denominator) {
    return static_cast<int>((static_cast<long long>(value) * numerator + denominator / 2) /
                            denominator);
}

QMessageBox::Icon IconOfStyle(std::uint32_t style) {
    switch (style & 0xF0) {
        case 0x10:
            return QMessageBox::Critical;
        case 0x20:
            return QMessageBox::Question;
        case 0x30:
            return QMessageBox::Warning;
        case 0x40:
            return QMessageBox::Information;
        default:
            return QMessageBox::NoIcon;
    }
}

}  // namespace

QtDialogWindow::QtDialogWindow(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint) {
    setWindowTitle(ToQString(dialog_template::kTitle));
    // Dialog base units of the dialog font, measured as the Win32 dialog manager
    // does, so that the template keeps its proportions in any font.
    const QFontMetrics metrics(font());
    const int sampleWidth = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    baseX_ = (sampleWidth / 26 + 1) / 2;
    baseY_ = metrics.height();
    CreateControls();
    setFixedSize(
        DialogUnitsToPixels(0, 0, dialog_template::kWidth, dialog_template::kHeight).size());
}

QtDialogWindow::~QtDialogWindow() {
    if (busyDepth_ > 0) {
        QApplication::restoreOverrideCursor();
    }
}

QRect QtDialogWindow::DialogUnitsToPixels(int x, int y, int width, int height) const {
    return QRect(MulDiv(x, baseX_, 4), MulDiv(y, baseY_, 8), MulDiv(width, baseX_, 4),
                 MulDiv(height, baseY_, 8));
}

void QtDialogWindow::CreateControls() {
    QWidget* previous = nullptr;
    QString label;  // of the last static or group box: what a screen reader calls the next control
    for (const auto& item : kControls) {
        const QString caption = ToQString(item.caption);
        QWidget* widget = nullptr;
        switch (item.kind) {
            case Kind::GroupBox:
                widget = new QGroupBox(caption, this);
                break;
            case Kind::List: {
                auto* list = new ReaderList(this);
                list->setSelectionMode(QAbstractItemView::SingleSelection);
                list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
                list->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
                list->setUniformItemSizes(true);
                widget = list;
                break;
            }
            case Kind::Button: {
                auto* button = new QPushButton(caption, this);
                // The template has no default push button: Enter in an edit must
                // not press anything. Enter on a focused button still presses it,
                // as the dialog manager does (see eventFilter).
                button->setAutoDefault(false);
                button->setDefault(false);
                button->installEventFilter(this);
                const int id = item.id;
                connect(button, &QPushButton::clicked, this,
                        [this, id] { Command(id, kBnClicked); });
                widget = button;
                break;
            }
            case Kind::Static: {
                auto* label = new QLabel(caption, this);
                label->setTextFormat(Qt::PlainText);
                label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
                widget = label;
                break;
            }
            case Kind::Edit: {
                auto* edit = new QLineEdit(this);
                edit->setMaxLength(32767);
                widget = edit;
                break;
            }
            case Kind::Notice: {
                notice_ = new NoticeEdit(this);
                notice_->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
                notice_->onUserChange = [this] { Command(IDC_NOTICE, kEnChange); };
                widget = notice_;
                break;
            }
        }
        QRect rect = DialogUnitsToPixels(item.x, item.y, item.width, item.height);
        if (auto* label = qobject_cast<QLabel*>(widget)) {
            // A static as tall as several lines wraps its words. A one-line
            // static was sized for the template's narrow font: in a wider one it
            // grows to the right, into the gap the template leaves before the
            // next control, rather than lose the end of its text.
            if (rect.height() >= 2 * label->fontMetrics().height()) {
                label->setWordWrap(true);
            } else {
                rect.setWidth(std::max(rect.width(), label->sizeHint().width()));
            }
        }
        widget->setGeometry(rect);
        widget->setEnabled((item.style & dialog_template::kWsDisabled) == 0);
        if (item.kind == Kind::Static || item.kind == Kind::GroupBox) {
            // The usage label's text changes; it names nothing.
            if (item.id != IDC_USAGE) {
                label = AccessibleName(caption);
            }
        } else if (item.kind != Kind::Button) {
            widget->setAccessibleName(FieldName(item.id, label));
        }
        if (item.id != IDC_STATIC) {
            controls_.insert(item.id, widget);
            widget->setObjectName(QStringLiteral("control_%1").arg(item.id));
        }
        if (widget->focusPolicy() != Qt::NoFocus) {
            if (previous != nullptr) {
                setTabOrder(previous, widget);
            }
            previous = widget;
        }
    }
}

bool QtDialogWindow::Initialize() {
    ended_ = false;
    Dispatch(kWmInitDialog, 0);
    return !ended_;
}

void QtDialogWindow::Destroy() {
    Dispatch(kWmDestroy, 0);
}

int QtDialogWindow::Run() {
    if (Initialize()) {
        exec();
    }
    Destroy();
    return dialogResult_;
}

bool QtDialogWindow::Dispatch(std::uint32_t message, std::uintptr_t wParam) {
    if (proc_ == nullptr) {
        return false;
    }
    std::intptr_t result = 0;
    return proc_->ProcessWindowMessage(message, wParam, 0, result);
}

void QtDialogWindow::Command(int id, std::uint16_t notification) {
    Dispatch(kWmCommand, MakeCommand(id, notification));
}

void QtDialogWindow::reject() {
    Command(kIdCancel, kBnClicked);
}

void QtDialogWindow::Post(std::uint32_t message, std::uintptr_t wParam) {
    QCoreApplication::postEvent(this, new MonitorEvent(message, wParam));
}

void QtDialogWindow::customEvent(QEvent* event) {
    if (event->type() == MonitorEvent::Kind()) {
        const auto* monitor = static_cast<MonitorEvent*>(event);
        Dispatch(monitor->Message(), monitor->WParam());
        return;
    }
    QDialog::customEvent(event);
}

void QtDialogWindow::showEvent(QShowEvent* event) {
    everShown_ = true;
    QDialog::showEvent(event);
}

bool QtDialogWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        auto* button = qobject_cast<QPushButton*>(watched);
        if (button != nullptr && (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)) {
            button->click();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

QListWidget* QtDialogWindow::List(int id) const {
    return qobject_cast<QListWidget*>(Control(id));
}

void QtDialogWindow::SetText(int id, std::u16string_view text) {
    QWidget* widget = Control(id);
    const QString value = ToQString(text);
    if (widget == notice_ && notice_ != nullptr) {
        notice_->SetProgramText(value);
    } else if (auto* label = qobject_cast<QLabel*>(widget)) {
        label->setText(value);
    } else if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
        // A line edit cuts a text longer than its limit; the program only ever
        // sets a key text that came from a key edit of the same limit.
        edit->setText(value);
    } else if (auto* button = qobject_cast<QPushButton*>(widget)) {
        button->setText(value);
    }
}

void QtDialogWindow::SetAnsiText(int id, std::string_view bytes) {
    SetText(id, notice_text::FromStored(bytes));
}

std::u16string QtDialogWindow::GetText(int id) {
    QWidget* widget = Control(id);
    if (widget == notice_ && notice_ != nullptr) {
        return FromQString(notice_->CrLfText());
    }
    if (auto* label = qobject_cast<QLabel*>(widget)) {
        return FromQString(label->text());
    }
    if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
        return FromQString(edit->text());
    }
    if (auto* button = qobject_cast<QPushButton*>(widget)) {
        return FromQString(button->text());
    }
    return {};
}

unsigned QtDialogWindow::GetTextLength(int id) {
    if (notice_ != nullptr && Control(id) == notice_) {
        return notice_->CrLfLength();
    }
    return static_cast<unsigned>(GetText(id).size());
}

void QtDialogWindow::Enable(int id, bool enable) {
    QWidget* widget = Control(id);
    if (widget == nullptr) {
        return;
    }
    // Qt would hand the focus of a control it disables to the next one in the tab
    // order, Exit among them, where the user's next Enter or space would end the
    // program and drop the unsaved notice. The reader list is never disabled.
    // While a message box is open the dialog's focus widget is the one that gets
    // the focus back when the box closes.
    const bool hadFocus = widget->hasFocus() || focusWidget() == widget;
    if (!enable && hadFocus) {
        Control(IDC_READER)->setFocus(Qt::OtherFocusReason);
    }
    widget->setEnabled(enable);
}

void QtDialogWindow::Repaint(int id) {
    if (QWidget* widget = Control(id); widget != nullptr && widget->isVisible()) {
        widget->repaint();
    }
}

void QtDialogWindow::SetFocus(int id) {
    if (QWidget* widget = Control(id)) {
        widget->setFocus(Qt::OtherFocusReason);
    }
}

void QtDialogWindow::LimitText(int id, unsigned limit) {
    QWidget* widget = Control(id);
    if (notice_ != nullptr && widget == notice_) {
        notice_->SetLimit(limit);
    } else if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
        edit->setMaxLength(limit == 0 || limit > INT_MAX ? 32767 : static_cast<int>(limit));
    }
}

void QtDialogWindow::ListAdd(int id, std::u16string_view text) {
    QListWidget* list = List(id);
    if (list == nullptr) {
        return;
    }
    // Sorted as a sorted list box sorts: letter case does not count.
    const QString value = ToQString(text);
    int row = 0;
    while (row < list->count() &&
           QString::compare(list->item(row)->text(), value, Qt::CaseInsensitive) <= 0) {
        ++row;
    }
    list->insertItem(row, value);
}

void QtDialogWindow::ListSelect(int id, int index) {
    QListWidget* list = List(id);
    if (list == nullptr) {
        return;
    }
    if (index >= 0 && index < list->count()) {
        list->setCurrentRow(index);
    } else {
        list->clearSelection();
        list->setCurrentRow(-1);
    }
}

int QtDialogWindow::ListSelection(int id) {
    QListWidget* list = List(id);
    if (list == nullptr) {
        return -1;
    }
    const auto selected = list->selectedItems();
    return selected.isEmpty() ? -1 : list->row(selected.front());
}

std::u16string QtDialogWindow::ListText(int id, int index) {
    QListWidget* list = List(id);
    if (list == nullptr || index < 0 || index >= list->count()) {
        return {};
    }
    return FromQString(list->item(index)->text());
}

void QtDialogWindow::CenterWindow() {
    const QWidget* owner = parentWidget();
    QScreen* screen = owner != nullptr ? owner->screen() : QGuiApplication::primaryScreen();
    if (screen == nullptr) {
        return;
    }
    const QRect area = screen->availableGeometry();
    const QRect over = owner != nullptr && owner->isVisible() && !owner->isMinimized()
                           ? owner->frameGeometry()
                           : area;
    QRect frame = frameGeometry();
    frame.moveCenter(over.center());
    // Clamped to the work area, top-left winning when the window is too big.
    frame.moveRight(std::min(frame.right(), area.right()));
    frame.moveBottom(std::min(frame.bottom(), area.bottom()));
    frame.moveLeft(std::max(frame.left(), area.left()));
    frame.moveTop(std::max(frame.top(), area.top()));
    move(frame.topLeft());
}

void QtDialogWindow::EndDialog(int result) {
    dialogResult_ = result;
    ended_ = true;
    done(result);
}

void QtDialogWindow::SetBusy(bool busy) {
    if (busy) {
        if (busyDepth_++ == 0) {
            QApplication::setOverrideCursor(Qt::WaitCursor);
        }
    } else if (busyDepth_ > 0 && --busyDepth_ == 0) {
        QApplication::restoreOverrideCursor();
    }
}

int QtDialogWindow::ShowMessageBox(std::u16string_view text, std::u16string_view caption,
                                   std::uint32_t style) {
    const bool yesNo = (style & kMbButtons) == kMbYesNo;
    QMessageBox box(IconOfStyle(style), ToQString(caption), ToQString(text),
                    yesNo ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok, this);
    box.setTextFormat(Qt::PlainText);
    if (yesNo) {
        box.setDefaultButton((style & kMbDefButton2) != 0 ? QMessageBox::No : QMessageBox::Yes);
        box.setEscapeButton(QMessageBox::No);
    }
    // Runs its own loop, in which the monitor's posted messages are still handled.
    box.exec();
    if (!yesNo) {
        return kIdOk;
    }
    return box.clickedButton() == box.button(QMessageBox::Yes) ? kIdYes : kIdNo;
}

}  // namespace app::qt
