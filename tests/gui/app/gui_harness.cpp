#include "gui_harness.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QPushButton>
#include <QTest>

#include "app/control_ids.h"

// The sanitizers see only our code. fontconfig keeps a few allocations of its
// font cache for the life of the process, and Qt's own threads synchronise
// through atomics inside the uninstrumented Qt libraries, which ThreadSanitizer
// cannot see. Both are kept in the files beside this one, shared with the
// screenshot script's test.
extern "C" const char* __lsan_default_suppressions();
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig\n";
}
extern "C" const char* __tsan_default_suppressions();
extern "C" const char* __tsan_default_suppressions() {
    return "race:libQt6Core.so\nrace:libQt6Gui.so\nrace:libQt6Widgets.so\n"
           "race:libfontconfig.so\nrace:libfreetype.so\n";
}

namespace app::qt::testing {
namespace {

int gLiveClosers = 0;

// A box that no BoxCloser expects would wait for a user for ever, and the test
// with it: it fails the test at once, naming the box, and closes it.
void FailOnStrayBoxes() {
    auto* timer = new QTimer(QApplication::instance());
    QObject::connect(timer, &QTimer::timeout, [] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr || gLiveClosers > 0 || !box->isVisible()) {
            return;
        }
        ADD_FAILURE() << "an unexpected message box: " << box->text().toStdString();
        box->done(QMessageBox::Cancel);
    });
    timer->start(50);
}

}  // namespace

void EnsureApplication() {
    if (QApplication::instance() != nullptr) {
        return;
    }
    // Never pop windows onto a developer's desktop.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "app_gui_test";
    static char* argv[] = {name, nullptr};
    new QApplication(argc, argv);
    FailOnStrayBoxes();
}

BoxCloser::BoxCloser(std::function<void()> whileOpen) : whileOpen_(std::move(whileOpen)) {
    ++gLiveClosers;
    connect(&timer_, &QTimer::timeout, this, &BoxCloser::Poll);
    timer_.start(10);
}

BoxCloser::~BoxCloser() {
    --gLiveClosers;
}

void BoxCloser::Poll() {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr || inBox_ || !box->isVisible()) {
        return;
    }
    inBox_ = true;
    seen.push_back(SeenBox{box->windowTitle(), box->text(), box->icon(),
                           QApplication::overrideCursor() != nullptr});
    if (whileOpen_) {
        whileOpen_();
    }
    if (press != QMessageBox::NoButton) {
        box->button(press)->click();
    } else {
        QTest::keyClick(box, Qt::Key_Return);
    }
    inBox_ = false;
}

void ExpectOneBox(const BoxCloser& closer, const QString& text, const QString& title,
                  QMessageBox::Icon icon) {
    ASSERT_EQ(closer.seen.size(), 1u);
    EXPECT_EQ(closer.seen[0].text, text);
    EXPECT_EQ(closer.seen[0].title, title);
    EXPECT_EQ(closer.seen[0].icon, icon);
    EXPECT_FALSE(closer.seen[0].busyCursor);
}

QString TextOf(QtDialogWindow& window, int id) {
    const std::u16string text = window.GetText(id);
    return QString(reinterpret_cast<const QChar*>(text.data()),
                   static_cast<qsizetype>(text.size()));
}

int IdOf(const QtDialogWindow& window, const QWidget* widget) {
    for (int id : {IDC_READER, IDC_CONNECT, IDC_DISCONNECT, IDC_ACCESS_KEY, IDC_NEW_ACCESS_KEY,
                   IDC_CHANGE, IDC_USE_KEY, IDC_LOAD, IDC_SAVE, IDC_NOTICE, kIdCancel}) {
        if (window.Control(id) == widget) {
            return id;
        }
    }
    return 0;
}

}  // namespace app::qt::testing
