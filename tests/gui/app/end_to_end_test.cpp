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
#include <filesystem>
#include <fstream>

#include "app/control_ids.h"
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

// A device tree with one serial port (COM1) and one ACR120 USB reader (USB1).
class FakeDeviceTree {
public:
    FakeDeviceTree() : root_(fs::temp_directory_path() / ("tagquill-devices-" + std::to_string(::getpid()))) {
        fs::remove_all(root_);
        fs::create_directories(root_ / "class/tty/ttyS0/device");
        Write(root_ / "class/tty/ttyS0/type", "4");
        const fs::path usb = root_ / "bus/usb/devices/1-1";
        fs::create_directories(usb);
        Write(usb / "idVendor", "072f");
        Write(usb / "idProduct", "8003");
    }
    ~FakeDeviceTree() { fs::remove_all(root_); }
    const fs::path& Root() const { return root_; }

private:
    static void Write(const fs::path& file, const std::string& text) { std::ofstream(file) << text << "\n"; }
    fs::path root_;
};

class EndToEndTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { EnsureApplication(); }

    EndToEndTest() : english_(0x0409) {
        platform::SetAnsiCodePageOverride(1252);
    }
    ~EndToEndTest() override { platform::SetAnsiCodePageOverride(std::nullopt); }

    std::unique_ptr<Dialog> Open() {
        auto root = devices_.Root();
        return std::make_unique<Dialog>(MifareCardFactory(platform::ProgramModule()),
                                        [root](std::vector<std::u16string>& names) {
                                            CSystemReaderDeviceSource source(root);
                                            EnumReaders(names, source);
                                        });
    }

    // Bytes of a card image from `offset`, as they lie on the card.
    std::string CardBytes(const std::string& card, std::size_t offset, std::size_t length) {
        const vreader::Bytes image = field_.ReadCard(card);
        return std::string(image.begin() + static_cast<std::ptrdiff_t>(offset),
                           image.begin() + static_cast<std::ptrdiff_t>(offset + length));
    }

    void Paste(Dialog& dialog, const QString& text) {
        QApplication::clipboard()->setText(text);
        QTest::keyClick(dialog.window.Notice(), Qt::Key_V, Qt::ControlModifier);
    }

    void SetKey(Dialog& dialog, int id, const QString& text) {
        auto* edit = qobject_cast<QLineEdit*>(dialog.Control(id));
        edit->clear();
        QTest::keyClicks(edit, text);
    }

    // Waits until the reader has listed its field `polls` more times.
    bool WaitForListings(const std::string& reader, const std::string& function, int polls) {
        const int start = field_.CountCalls(reader, function);
        return WaitFor([&] { return field_.CountCalls(reader, function) >= start + polls; }, 5000);
    }

    platform::ScopedThreadLocale english_;
    vreader::ScopedVirtualField field_;
    FakeDeviceTree devices_;
};

TEST_F(EndToEndTest, NoticeSurvivesTheCardLeavingAndKeyChangeLocksTheOldKeyOut) {
    auto dialog = Open();
    ASSERT_TRUE(dialog->initialised);
    EXPECT_EQ(dialog->window.ListText(IDC_READER, 0), u"COM1");
    EXPECT_EQ(dialog->window.ListText(IDC_READER, 1), u"USB1");
    EXPECT_EQ(dialog->window.ListSelection(IDC_READER), 0);
    EXPECT_EQ(dialog->Text(IDC_USAGE), QString());
    EXPECT_EQ(dialog->FocusId(), IDCANCEL);

    dialog->Click(IDC_CONNECT);
    EXPECT_FALSE(dialog->Enabled(IDC_CONNECT));
    EXPECT_TRUE(dialog->Enabled(IDC_DISCONNECT));
    EXPECT_TRUE(dialog->CardControlsEnabled(false));

    field_.NewCard("COM1", vreader::CardKind::kClassic1K, vreader::Bytes{1, 2, 3, 4}, "demo.mfd");
    ASSERT_TRUE(WaitFor([&] { return dialog->CardControlsEnabled(true); }));
    EXPECT_EQ(dialog->FocusId(), IDC_USE_KEY);
    EXPECT_FALSE(dialog->Enabled(IDC_NOTICE));

    // A blank card opens with the empty key (the transport key).
    dialog->Click(IDC_LOAD);
    ASSERT_TRUE(dialog->Enabled(IDC_NOTICE));
    EXPECT_EQ(dialog->Text(IDC_USAGE), QStringLiteral("0 / 750"));
    QTest::keyClicks(dialog->window.Notice(), QStringLiteral("Hello"));
    QTest::keyClick(dialog->window.Notice(), Qt::Key_Return);
    TypeText(dialog->window.Notice(), QString::fromUtf8("Wörld"));
    EXPECT_EQ(dialog->Text(IDC_USAGE), QStringLiteral("12 / 750"));
    dialog->Click(IDC_SAVE);
    // Block 1 holds the length and the text in Windows-1252 with CR LF.
    EXPECT_EQ(CardBytes("COM1/demo.mfd", 16, 14), std::string("\x0C\x00Hello\r\nW\xF6rld", 14));

    field_.RemoveCard("COM1", "demo.mfd");
    ASSERT_TRUE(WaitFor([&] { return dialog->CardControlsEnabled(false); }));
    EXPECT_EQ(dialog->Text(IDC_NOTICE), QString());
    EXPECT_EQ(dialog->Text(IDC_USAGE), QString());
    EXPECT_FALSE(dialog->Enabled(IDC_NOTICE));
    EXPECT_EQ(dialog->FocusId(), IDCANCEL);
    EXPECT_TRUE(dialog->Enabled(IDC_DISCONNECT));

    field_.PlaceCard("demo.mfd", "COM1");
    ASSERT_TRUE(WaitFor([&] { return dialog->CardControlsEnabled(true); }));
    dialog->Click(IDC_LOAD);
    EXPECT_EQ(dialog->Text(IDC_NOTICE), QString::fromUtf8("Hello\r\nWörld"));
    EXPECT_EQ(dialog->Text(IDC_USAGE), QStringLiteral("12 / 750"));

    // Personalise: the old (empty) key opens every sector, "abc" replaces it.
    SetKey(*dialog, IDC_NEW_ACCESS_KEY, QStringLiteral("abc"));
    {
        BoxCloser closer;
        dialog->Click(IDC_CHANGE);
        ASSERT_EQ(closer.seen.size(), 1u);
        EXPECT_EQ(closer.seen[0].text, QStringLiteral("Code changed successfully !"));
        EXPECT_EQ(closer.seen[0].title, QStringLiteral("Personalization"));
        EXPECT_EQ(closer.seen[0].icon, QMessageBox::Information);
        EXPECT_FALSE(closer.seen[0].busyCursor);
    }
    EXPECT_EQ(dialog->Text(IDC_USE_KEY), QStringLiteral("abc"));
    EXPECT_EQ(dialog->FocusId(), IDC_USE_KEY);
    EXPECT_FALSE(dialog->Enabled(IDC_NOTICE));
    EXPECT_EQ(CardBytes("COM1/demo.mfd", 3 * 16, 6), std::string("abc\xFF\xFF\xFF"));

    dialog->Click(IDC_LOAD);
    EXPECT_TRUE(dialog->Enabled(IDC_NOTICE));
    EXPECT_EQ(dialog->Text(IDC_NOTICE), QString());
    EXPECT_EQ(dialog->Text(IDC_USAGE), QStringLiteral("0 / 750"));

    // The old key no longer opens the card; the loaded view stays as it was.
    QTest::keyClicks(dialog->window.Notice(), QStringLiteral("kept"));
    SetKey(*dialog, IDC_USE_KEY, QString());
    {
        BoxCloser closer;
        dialog->Click(IDC_LOAD);
        ASSERT_EQ(closer.seen.size(), 1u);
        EXPECT_EQ(closer.seen[0].text, QStringLiteral("80004005 : ACR120 : Login failed"));
        EXPECT_EQ(closer.seen[0].title, QStringLiteral("Error"));
        EXPECT_EQ(closer.seen[0].icon, QMessageBox::Critical);
        EXPECT_FALSE(closer.seen[0].busyCursor);
    }
    EXPECT_EQ(dialog->Text(IDC_NOTICE), QStringLiteral("kept"));
    EXPECT_TRUE(dialog->Enabled(IDC_LOAD));
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);

    dialog->Click(IDC_DISCONNECT);
    EXPECT_TRUE(dialog->Enabled(IDC_CONNECT));
    EXPECT_FALSE(dialog->Enabled(IDC_DISCONNECT));
    EXPECT_TRUE(dialog->CardControlsEnabled(false));
    EXPECT_EQ(dialog->Text(IDC_NOTICE), QString());
}

TEST_F(EndToEndTest, UsbReaderWithA4KCardAndTheEditorsLimit) {
    auto dialog = Open();
    ASSERT_EQ(dialog->window.ListText(IDC_READER, 1), u"USB1");
    dialog->window.ListSelect(IDC_READER, 1);
    dialog->Click(IDC_CONNECT);
    ASSERT_TRUE(dialog->Enabled(IDC_DISCONNECT));

    field_.NewCard("USB1", vreader::CardKind::kClassic4K, std::nullopt, "big.mfd");
    ASSERT_TRUE(WaitFor([&] { return dialog->CardControlsEnabled(true); }));
    dialog->Click(IDC_LOAD);
    EXPECT_EQ(dialog->Text(IDC_USAGE), QStringLiteral("0 / 3438"));

    // Up to the capacity and not one unit more; a line break needs two.
    Paste(*dialog, QString(3436, QLatin1Char('x')));
    QTest::keyClicks(dialog->window.Notice(), QStringLiteral("y"));
    QTest::keyClick(dialog->window.Notice(), Qt::Key_Return);
    QTest::keyClicks(dialog->window.Notice(), QStringLiteral("zq"));
    EXPECT_EQ(dialog->window.GetTextLength(IDC_NOTICE), 3438u);
    EXPECT_EQ(dialog->Text(IDC_USAGE), QStringLiteral("3438 / 3438"));
    EXPECT_TRUE(dialog->Text(IDC_NOTICE).endsWith(QStringLiteral("xyz")));

    dialog->Click(IDC_SAVE);
    EXPECT_EQ(CardBytes("USB1/big.mfd", 16, 2), std::string("\x6E\x0D", 2));
}

TEST_F(EndToEndTest, ASevenByteTagLeavesTheCardControlsDisabled) {
    auto dialog = Open();
    dialog->Click(IDC_CONNECT);
    field_.NewCard("COM1", vreader::CardKind::kSevenByteUid, std::nullopt, "tag.mfd");
    ASSERT_TRUE(WaitForListings("COM1", "ListTag", 3));
    QTest::qWait(50);
    EXPECT_TRUE(dialog->CardControlsEnabled(false));
    EXPECT_EQ(dialog->FocusId(), IDCANCEL);
}

TEST_F(EndToEndTest, MissingReaderLibraryGivesOneBoxAndNoWindow) {
    const fs::path empty = fs::temp_directory_path() / ("tagquill-empty-" + std::to_string(::getpid()));
    fs::create_directories(empty);
    const platform::ModuleRef lonely{empty / "tagquill"};
    {
        BoxCloser closer;
        QtDialogWindow window;
        CMainDlg logic(window, MifareCardFactory(lonely), [](std::vector<std::u16string>&) {});
        window.SetProc(&logic);
        EXPECT_EQ(window.Run(), IDCANCEL);
        window.SetProc(nullptr);
        EXPECT_FALSE(window.EverShown());
        ASSERT_EQ(closer.seen.size(), 1u);
        EXPECT_EQ(closer.seen[0].text,
                  QStringLiteral("80004005 : ACR120Base : Requested operation requires additional "
                                 "DLL that is missing or cannot be loaded"));
        EXPECT_EQ(closer.seen[0].title, QStringLiteral("Error"));
    }
    {
        BoxCloser closer;
        EXPECT_EQ(RunMainDialog(MifareCardFactory(lonely), [](std::vector<std::u16string>&) {}),
                  IDCANCEL);
        EXPECT_EQ(closer.seen.size(), 1u);
    }
    fs::remove_all(empty);
}

TEST_F(EndToEndTest, ClosingWhileConnectedStopsTheMonitorAndClosesTheReader) {
    auto dialog = Open();
    dialog->Click(IDC_CONNECT);
    ASSERT_TRUE(WaitForListings("COM1", "ListTag", 1));
    QTest::keyClick(&dialog->window, Qt::Key_Escape);
    EXPECT_FALSE(dialog->window.isVisible());
    EXPECT_EQ(dialog->window.DialogResult(), IDCANCEL);
    dialog.reset();
    EXPECT_EQ(field_.CountCalls("COM1", "Close"), 1);
    const int listings = field_.CountCalls("COM1", "ListTag");
    QTest::qWait(700);
    EXPECT_EQ(field_.CountCalls("COM1", "ListTag"), listings);
}

}  // namespace
}  // namespace app::qt::testing
