// Renders the real main window, in a state a new user would recognise, into a
// PNG for the documentation. It drives the dialog as a user would: pick COM1,
// Connect, wait for the demo card, Load, type a notice. The virtual reader's
// state comes from TAGQUILL_VREADER_DIR, which the calling script prepares.
//
// Usage: tagquill-screenshot OUTPUT.png

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QListWidget>
#include <QPixmap>
#include <QPushButton>
#include <QTest>
#include <cstdio>

#include "app/card_session.h"
#include "app/control_ids.h"
#include "app/main_dlg.h"
#include "app/qt/notice_edit.h"
#include "app/qt/qt_dialog_window.h"
#include "platform/code_page.h"
#include "platform/library.h"

namespace {

bool WaitFor(const std::function<bool()>& condition, int milliseconds) {
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > milliseconds) {
            return false;
        }
        QTest::qWait(20);
    }
    return true;
}

int Fail(const char* what) {
    std::fprintf(stderr, "tagquill-screenshot: %s\n", what);
    return 1;
}

}  // namespace

int main(int argc, char* argv[]) {
    platform::FixAnsiCodePage();
    QApplication application(argc, argv);
    if (argc != 2) {
        return Fail("usage: tagquill-screenshot OUTPUT.png");
    }

    using namespace app;
    qt::QtDialogWindow window;
    CMainDlg dialog(window, MifareCardFactory(platform::ProgramModule()),
                    [](std::vector<std::u16string>& names) {
                        names = {u"COM1", u"USB1"};
                    });
    window.SetProc(&dialog);
    if (!window.Initialize()) {
        return Fail("the dialog did not start (are the reader libraries beside this program?)");
    }
    window.show();
    if (!QTest::qWaitForWindowExposed(&window)) {
        return Fail("the window was not shown");
    }

    auto* connect = static_cast<QPushButton*>(window.Control(IDC_CONNECT));
    auto* load = static_cast<QPushButton*>(window.Control(IDC_LOAD));
    QTest::mouseClick(connect, Qt::LeftButton);
    if (!WaitFor([&] { return load->isEnabled(); }, 5000)) {
        return Fail("no card appeared in COM1's field");
    }
    QTest::mouseClick(load, Qt::LeftButton);
    if (!window.Notice()->isEnabled()) {
        return Fail("Load failed");
    }
    QTest::keyClicks(window.Notice(), QStringLiteral("Door code changes on Monday."));
    QTest::keyClick(window.Notice(), Qt::Key_Return);
    QTest::keyClicks(window.Notice(), QStringLiteral("Ask Maria for the new one."));

    const bool saved = window.grab().save(QString::fromLocal8Bit(argv[1]), "PNG");
    window.EndDialog(kIdCancel);
    window.Destroy();
    window.SetProc(nullptr);
    return saved ? 0 : Fail("the picture could not be written");
}
