#pragma once
// Shared by the dialog's tests: one offscreen QApplication, a watcher that
// answers message boxes as a user would, and reading the dialog's controls.

#include <QMessageBox>
#include <QObject>
#include <QTimer>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "app/qt/qt_dialog_window.h"

// Readable QString values in test failures.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace app::qt::testing {

// Creates the application on first use, on the offscreen platform.
void EnsureApplication();

QString TextOf(QtDialogWindow& window, int id);
// The id of one of the focusable controls, 0 for any other widget.
int IdOf(const QtDialogWindow& window, const QWidget* widget);

struct SeenBox {
    QString title;
    QString text;
    QMessageBox::Icon icon;
    bool busyCursor;
};

// While it lives, closes every message box as soon as it opens, after
// recording it and running `whileOpen` (the box's own loop is running then): with
// `press` when set, else with Enter, as a user who takes the default would.
class BoxCloser : public QObject {
public:
    explicit BoxCloser(std::function<void()> whileOpen = {});
    ~BoxCloser() override;
    std::vector<SeenBox> seen;
    QMessageBox::StandardButton press = QMessageBox::NoButton;

private:
    void Poll();
    QTimer timer_;
    std::function<void()> whileOpen_;
    bool inBox_ = false;
};

// Exactly one box was seen, as given, and shown without the busy cursor.
void ExpectOneBox(const BoxCloser& closer, const QString& text, const QString& title,
                  QMessageBox::Icon icon);

}  // namespace app::qt::testing
