#pragma once
// Shared by the dialog's tests: one offscreen QApplication, a watcher that
// answers message boxes as a user would, and the dialog with its real logic.

#include <QMessageBox>
#include <QObject>
#include <QTimer>
#include <functional>
#include <ostream>
#include <memory>
#include <string>
#include <vector>

#include "app/card_session.h"
#include "app/main_dlg.h"
#include "app/qt/qt_dialog_window.h"

// Readable QString values in test failures.
inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

namespace app::qt::testing {

// Types text as key presses carrying that text, also outside ASCII.
void TypeText(QWidget* widget, const QString& text);

// Creates the application on first use, on the offscreen platform.
void EnsureApplication();

struct SeenBox {
    QString title;
    QString text;
    QMessageBox::Icon icon;
    bool busyCursor;
};

// While it lives, closes every message box as soon as it opens, after
// recording it and running `whileOpen` (the box's own loop is running then).
class BoxCloser : public QObject {
public:
    explicit BoxCloser(std::function<void()> whileOpen = {});
    std::vector<SeenBox> seen;

private:
    void Poll();
    QTimer timer_;
    std::function<void()> whileOpen_;
    bool inBox_ = false;
};

// The dialog with its logic, initialised and shown.
class Dialog {
public:
    Dialog(CardFactory makeCard, ReaderEnumerator enumReaders, bool show = true);
    ~Dialog();

    QtDialogWindow window;
    CMainDlg logic;
    bool initialised = false;

    QWidget* Control(int id) const { return window.Control(id); }
    void Click(int id);
    QString Text(int id);
    bool Enabled(int id) const { return Control(id)->isEnabled(); }
    bool CardControlsEnabled(bool enabled) const;
    int FocusId() const;
};

// Waits, handling events, until `condition` holds; false after `ms`.
bool WaitFor(const std::function<bool()>& condition, int ms = 5000);

}  // namespace app::qt::testing
