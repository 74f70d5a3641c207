// The program's window end to end: the real dialog and logic, the card object
// over the virtual reader's libraries loaded from beside the test, and discovery
// over a fake device tree. What is checked is what a user sees and what lands
// on the card.

#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QTest>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <optional>

#include "app/control_ids.h"
#include "app/main_dlg.h"
#include "app/qt/notice_edit.h"
#include "control/virtual_field.h"
#include "discovery/reader_discovery.h"
#include "gui_harness.h"
#include "platform/code_page.h"
#include "platform/library.h"
#include "platform/locale.h"

namespace app::qt::testing {
namespace {

namespace fs = std::filesystem;

class EndToEndTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { EnsureApplication(); }
    // Discovery sees one serial port (COM1) and one ACR120 USB reader (USB1).
    EndToEndTest() : english_(0x0409) {
        platform::SetAnsiCodePageOverride(1252);
        fs::remove_all(devices_);
        fs::create_directories(devices_ / "class/tty/ttyS0/device");
        fs::create_directories(devices_ / "bus/usb/devices/1-1");
        std::ofstream(devices_ / "class/tty/ttyS0/type") << "4\n";
        std::ofstream(devices_ / "bus/usb/devices/1-1/idVendor") << "072f\n";
        std::ofstream(devices_ / "bus/usb/devices/1-1/idProduct") << "8003\n";
    }
    ~EndToEndTest() override {
        if (logic_) {
            window_.hide();
            window_.Destroy();
            window_.SetProc(nullptr);
        }
        fs::remove_all(devices_);
        platform::SetAnsiCodePageOverride(std::nullopt);
    }

    // The dialog with its real logic, initialised and shown.
    void Open() {
        logic_.emplace(window_, MifareCardFactory(platform::ProgramModule()),
                       [root = devices_](std::vector<std::u16string>& names) {
                           CSystemReaderDeviceSource source(root);
                           EnumReaders(names, source);
                       });
        window_.SetProc(&*logic_);
        ASSERT_TRUE(window_.Initialize());
        window_.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window_));
    }
    void Click(int id) { QTest::mouseClick(window_.Control(id), Qt::LeftButton); }
    QString Text(int id) { return TextOf(window_, id); }
    bool Enabled(int id) { return window_.Control(id)->isEnabled(); }
    bool CardControls(bool enabled) {
        return std::all_of(kCardControls.begin(), kCardControls.end(),
                           [&](int id) { return Enabled(id) == enabled; });
    }
    // Bounded waits that say what did not happen, so a broken test fails in
    // seconds instead of running into the suite's time-out.
    ::testing::AssertionResult WaitForCardControls(bool enabled) {
        if (QTest::qWaitFor([&] { return CardControls(enabled); }, 3000)) {
            return ::testing::AssertionSuccess();
        }
        return ::testing::AssertionFailure() << "the card controls did not become "
                                             << (enabled ? "enabled" : "disabled") << " within 3 s";
    }
    int FocusId() { return IdOf(window_, window_.focusWidget()); }
    // Bytes of a card image from `offset`, as they lie on the card.
    std::string CardBytes(const std::string& card, std::size_t offset, std::size_t length) {
        const vreader::Bytes image = field_.ReadCard(card);
        return std::string(image.begin(), image.end()).substr(offset, length);
    }
    // Waits until the reader has listed its field `polls` more times.
    ::testing::AssertionResult WaitForListings(const std::string& reader, int polls) {
        const int start = field_.CountCalls(reader, "ListTag");
        if (QTest::qWaitFor([&] { return field_.CountCalls(reader, "ListTag") >= start + polls; },
                            1000 + 500 * polls)) {
            return ::testing::AssertionSuccess();
        }
        return ::testing::AssertionFailure() << reader << " was not listed " << polls
                                             << " more times; the monitor is not polling";
    }
    // Key presses carrying the text, also outside ASCII.
    static void TypeText(QWidget* widget, const QString& text) {
        for (QChar c : text) {
            QTest::sendKeyEvent(QTest::Press, widget, Qt::Key_unknown, QString(c), Qt::NoModifier);
            QTest::sendKeyEvent(QTest::Release, widget, Qt::Key_unknown, QString(c),
                                Qt::NoModifier);
        }
    }

    platform::ScopedThreadLocale english_;
    vreader::ScopedVirtualField field_;
    const fs::path devices_ =
        fs::temp_directory_path() / ("tagquill-devices-" + std::to_string(::getpid()));
    QtDialogWindow window_;
    std::optional<CMainDlg> logic_;
};

TEST_F(EndToEndTest, NoticeSurvivesTheCardLeavingAndKeyChangeLocksTheOldKeyOutOnCom1) {
    Open();
    EXPECT_EQ(window_.ListText(IDC_READER, 0), u"COM1");
    EXPECT_EQ(window_.ListSelection(IDC_READER), 0);
    Click(IDC_CONNECT);
    EXPECT_TRUE(Enabled(IDC_DISCONNECT) && !Enabled(IDC_CONNECT));
    // A 7-byte tag is not a card the program can use.
    field_.NewCard("COM1", vreader::CardKind::kSevenByteUid, std::nullopt, "tag.mfd");
    ASSERT_TRUE(WaitForListings("COM1", 3));
    QTest::qWait(50);
    EXPECT_TRUE(CardControls(false));
    field_.RemoveCard("COM1", "tag.mfd");

    field_.NewCard("COM1", vreader::CardKind::kClassic1K, vreader::Bytes{1, 2, 3, 4}, "demo.mfd");
    ASSERT_TRUE(WaitForCardControls(true));
    EXPECT_EQ(FocusId(), IDC_USE_KEY);

    // A blank card opens with the empty key (the transport key).
    Click(IDC_LOAD);
    ASSERT_TRUE(Enabled(IDC_NOTICE));
    QTest::keyClicks(window_.Notice(), QStringLiteral("Hello"));
    QTest::keyClick(window_.Notice(), Qt::Key_Return);
    TypeText(window_.Notice(), QString::fromUtf8("Wörld"));
    EXPECT_EQ(Text(IDC_USAGE), QStringLiteral("12 / 750"));
    Click(IDC_SAVE);
    // Block 1 holds the length and the text in Windows-1252 with CR LF.
    EXPECT_EQ(CardBytes("COM1/demo.mfd", 16, 14), std::string("\x0C\x00Hello\r\nW\xF6rld", 14));

    field_.RemoveCard("COM1", "demo.mfd");
    ASSERT_TRUE(WaitForCardControls(false));
    EXPECT_EQ(FocusId(), IDC_READER);

    field_.PlaceCard("demo.mfd", "COM1");
    ASSERT_TRUE(WaitForCardControls(true));
    Click(IDC_LOAD);
    EXPECT_EQ(Text(IDC_NOTICE), QString::fromUtf8("Hello\r\nWörld"));

    // Personalise: the old (empty) key opens every sector, "abc" replaces it.
    QTest::keyClicks(window_.Control(IDC_NEW_ACCESS_KEY), QStringLiteral("abc"));
    {
        BoxCloser closer;
        Click(IDC_CHANGE);
        ExpectOneBox(closer, QStringLiteral("Code changed successfully !"),
                     QStringLiteral("Personalization"), QMessageBox::Information);
    }
    EXPECT_EQ(CardBytes("COM1/demo.mfd", 3 * 16, 6), std::string("abc\xFF\xFF\xFF"));
    Click(IDC_LOAD);
    EXPECT_TRUE(Enabled(IDC_NOTICE));
    EXPECT_EQ(Text(IDC_NOTICE), QString());
    EXPECT_EQ(Text(IDC_USAGE), QStringLiteral("0 / 750"));

    // The old key no longer opens the card.
    qobject_cast<QLineEdit*>(window_.Control(IDC_USE_KEY))->clear();
    {
        BoxCloser closer;
        Click(IDC_LOAD);
        ExpectOneBox(closer, QStringLiteral("80004005 : ACR120 : Login failed"),
                     QStringLiteral("Error"), QMessageBox::Critical);
    }
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);

    Click(IDC_DISCONNECT);
    EXPECT_TRUE(Enabled(IDC_CONNECT) && CardControls(false));
}

// A card that slips away during a Save may be left with an empty notice; the
// text stays in the window and one Save stores it once the card is back. No
// stray key on the way can end the program.
TEST_F(EndToEndTest, TextOfASaveCutByTheCardLeavingIsSavedWhenTheCardComesBack) {
    Open();
    EXPECT_EQ(FocusId(), IDC_READER);
    Click(IDC_CONNECT);
    EXPECT_EQ(FocusId(), IDC_READER);
    field_.NewCard("COM1", vreader::CardKind::kClassic1K, vreader::Bytes{1, 2, 3, 4}, "demo.mfd");
    ASSERT_TRUE(WaitForCardControls(true));
    Click(IDC_LOAD);
    // Longer than one block: Save takes more than one write.
    QTest::keyClicks(window_.Notice(), QStringLiteral("Hello from two blocks!"));
    field_.RemoveCardAfter("COM1", "Write", 1);
    {
        // The removal is handled while the error box is open, as it would be.
        // (Checked below, once the box is closed.)
        BoxCloser closer(
            [&] { static_cast<void>(QTest::qWaitFor([&] { return CardControls(false); }, 3000)); });
        Click(IDC_SAVE);
        ASSERT_EQ(closer.seen.size(), 1u);
        ASSERT_TRUE(CardControls(false));
    }
    EXPECT_EQ(Text(IDC_NOTICE), QStringLiteral("Hello from two blocks!"));
    EXPECT_EQ(Text(IDC_USAGE), QStringLiteral("22 / 750"));
    EXPECT_FALSE(Enabled(IDC_NOTICE));
    EXPECT_EQ(FocusId(), IDC_READER) << "after the error box, not Exit";
    QTest::keyClick(window_.focusWidget(), Qt::Key_Space);
    QTest::keyClick(window_.focusWidget(), Qt::Key_Return);
    EXPECT_TRUE(window_.isVisible());

    // Esc asks before the unsaved text goes; the default answer keeps it.
    {
        BoxCloser closer;
        QTest::keyClick(&window_, Qt::Key_Escape);
        ASSERT_EQ(closer.seen.size(), 1u);
        EXPECT_EQ(closer.seen[0].title, QStringLiteral("Exit"));
    }
    EXPECT_TRUE(window_.isVisible());

    // A card the window cannot tell (its selection fails) neither gets the text
    // nor drops it; taken away and put back, it is told again.
    const int selections = field_.CountCalls("COM1", "MultiTagSelect");
    field_.FailCall("COM1", "MultiTagSelect", 1, -1);
    field_.PlaceCard("demo.mfd", "COM1");
    ASSERT_TRUE(WaitForListings("COM1", 3));
    EXPECT_EQ(field_.CountCalls("COM1", "MultiTagSelect"), selections + 1) << "one, failed";
    EXPECT_TRUE(CardControls(false));
    EXPECT_FALSE(Enabled(IDC_NOTICE));
    EXPECT_EQ(Text(IDC_NOTICE), QStringLiteral("Hello from two blocks!"));
    field_.RemoveCard("COM1", "demo.mfd");
    ASSERT_TRUE(WaitForListings("COM1", 2));
    field_.PlaceCard("demo.mfd", "COM1");
    ASSERT_TRUE(WaitForCardControls(true));
    ASSERT_TRUE(Enabled(IDC_NOTICE));
    Click(IDC_SAVE);
    EXPECT_EQ(CardBytes("COM1/demo.mfd", 16, 8), std::string("\x16\x00Hello ", 8));
    QTest::keyClick(&window_, Qt::Key_Escape);
    EXPECT_FALSE(window_.isVisible());
}

TEST_F(EndToEndTest, UsbReaderWithA4KCardRefusesTextBeyondItsCapacity) {
    Open();
    ASSERT_EQ(window_.ListText(IDC_READER, 1), u"USB1");
    window_.ListSelect(IDC_READER, 1);
    Click(IDC_CONNECT);
    field_.NewCard("USB1", vreader::CardKind::kClassic4K, std::nullopt, "big.mfd");
    ASSERT_TRUE(WaitForCardControls(true));
    Click(IDC_LOAD);
    EXPECT_EQ(Text(IDC_USAGE), QStringLiteral("0 / 3438"));

    QApplication::clipboard()->setText(QString(3437, QLatin1Char('x')));
    QTest::keyClick(window_.Notice(), Qt::Key_V, Qt::ControlModifier);
    QTest::keyClicks(window_.Notice(), QStringLiteral("yz"));
    EXPECT_EQ(Text(IDC_USAGE), QStringLiteral("3438 / 3438"));
    EXPECT_TRUE(Text(IDC_NOTICE).endsWith(QStringLiteral("xy")));
    Click(IDC_SAVE);
    EXPECT_EQ(CardBytes("USB1/big.mfd", 16, 2), std::string("\x6E\x0D", 2));
}

TEST_F(EndToEndTest, MissingReaderLibraryGivesOneBoxAndNoWindow) {
    const fs::path empty =
        fs::temp_directory_path() / ("tagquill-empty-" + std::to_string(::getpid()));
    fs::create_directories(empty);
    struct : QObject {
        bool eventFilter(QObject* watched, QEvent* event) override {
            shown |= event->type() == QEvent::Show && dynamic_cast<QtDialogWindow*>(watched);
            return false;
        }
        bool shown = false;
    } windowWatch;
    QApplication::instance()->installEventFilter(&windowWatch);
    BoxCloser closer;
    QtDialogWindow window;
    EXPECT_EQ(RunMainDialog(
                  window, MifareCardFactory(platform::ModuleRef{empty / "tagquill"}),
                  [](std::vector<std::u16string>&) {}, [&] { return window.Run(); }),
              kIdCancel);
    EXPECT_FALSE(windowWatch.shown);
    ExpectOneBox(closer,
                 QStringLiteral("80004005 : ACR120Base : Requested operation requires "
                                "additional DLL that is missing or cannot be loaded"),
                 QStringLiteral("Error"), QMessageBox::Critical);
    fs::remove_all(empty);
}

TEST_F(EndToEndTest, ClosingWhileConnectedStopsTheMonitorAndClosesTheReader) {
    Open();
    Click(IDC_CONNECT);
    ASSERT_TRUE(WaitForListings("COM1", 1));
    QTest::keyClick(&window_, Qt::Key_Escape);
    EXPECT_FALSE(window_.isVisible());
    EXPECT_EQ(window_.DialogResult(), kIdCancel);
    window_.Destroy();
    window_.SetProc(nullptr);
    logic_.reset();
    EXPECT_EQ(field_.CountCalls("COM1", "Close"), 1);
    const int listings = field_.CountCalls("COM1", "ListTag");
    QTest::qWait(700);
    EXPECT_EQ(field_.CountCalls("COM1", "ListTag"), listings);
}

}  // namespace
}  // namespace app::qt::testing
