// The Qt dialog against the Win32 dialog's behaviour the window logic relies on:
// template, tab order, change notifications, CR LF text, limits, list order,
// keys that end or do not end the dialog, and posted monitor messages.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QListWidget>
#include <QTest>
#include <thread>

#include "app/control_ids.h"
#include "app/qt/notice_edit.h"
#include "app/qt/qt_translations.h"
#include "gui_harness.h"
#include "platform/code_page.h"
#include "platform/locale.h"

namespace app::qt::testing {
namespace {

struct Posted {
    std::uint32_t message;
    std::uintptr_t wParam;
    std::thread::id thread;
};

// Stands in for the logic: records what the window sends and handles nothing.
class RecordingProc : public CDialogProc {
public:
    bool ProcessWindowMessage(std::uint32_t message, std::uintptr_t wParam, std::intptr_t,
                              std::intptr_t& result) override {
        if (message == kWmCommand) {
            commands.push_back(wParam);
        } else {
            posted.push_back({message, wParam, std::this_thread::get_id()});
        }
        result = 0;
        return true;
    }
    std::vector<std::uintptr_t> commands;
    std::vector<Posted> posted;
};

class DialogContractTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { EnsureApplication(); }
    DialogContractTest() {
        window_.SetProc(&proc_);
        window_.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&window_));
    }
    ~DialogContractTest() override { window_.SetProc(nullptr); }

    QString Text(int id) { return TextOf(window_, id); }

    RecordingProc proc_;
    QtDialogWindow window_;
};

TEST_F(DialogContractTest, TemplateProportionsCaptionsAndTabOrder) {
    EXPECT_EQ(window_.windowTitle(), QStringLiteral("SDK sample : Tagquill"));
    // 416 x 308 dialog units.
    EXPECT_NEAR(window_.width() / window_.BaseUnitX(), 416, 1);
    EXPECT_NEAR(window_.height() / window_.BaseUnitY(), 308, 1);
    EXPECT_EQ(window_.Control(IDC_NOTICE)->geometry(),
              window_.DialogUnitsToPixels(17, 145, 380, 150));
    EXPECT_FALSE(window_.Control(IDC_DISCONNECT)->isEnabled());
    QStringList statics;
    for (auto* label : window_.findChildren<QLabel*>()) {
        statics << label->text();
        // One-line statics show their whole text, whatever the font.
        if (!label->wordWrap()) {
            EXPECT_GE(label->width(), label->sizeHint().width()) << label->text().toStdString();
        }
    }
    EXPECT_TRUE(statics.contains(QString::fromUtf8(
        "Пример демонстрирует работу с длинными блоками данных на картах Mifare 1K, 4K")));

    std::vector<int> order;
    QWidget* w = window_.Control(IDC_READER);
    do {
        if (int id = IdOf(window_, w)) {
            order.push_back(id);
        }
        w = w->nextInFocusChain();
    } while (w != window_.Control(IDC_READER) && order.size() < 20);
    EXPECT_EQ(order, (std::vector<int>{IDC_READER, IDC_CONNECT, IDC_DISCONNECT, IDC_ACCESS_KEY,
                                       IDC_NEW_ACCESS_KEY, IDC_CHANGE, IDC_USE_KEY, IDC_LOAD,
                                       IDC_SAVE, IDC_NOTICE, kIdCancel}));
}

TEST_F(DialogContractTest, NoticeReportsOnlyUserEditsAndTravelsUnchangedWithCrLf) {
    window_.SetText(IDC_NOTICE, u"set by the program");
    window_.SetAnsiText(IDC_NOTICE, "\x41\x42");
    window_.SetText(IDC_NOTICE, u"");
    EXPECT_TRUE(proc_.commands.empty());

    QTest::keyClicks(window_.Notice(), QStringLiteral("a"));
    QTest::keyClick(window_.Notice(), Qt::Key_Return);
    QTest::keyClicks(window_.Notice(), QStringLiteral("b"));
    QTest::keyClick(window_.Notice(), Qt::Key_Return, Qt::ShiftModifier);
    QTest::keyClicks(window_.Notice(), QStringLiteral("c"));
    EXPECT_EQ(proc_.commands, std::vector<std::uintptr_t>(5, MakeCommand(IDC_NOTICE, kEnChange)));
    EXPECT_EQ(Text(IDC_NOTICE), QStringLiteral("a\r\nb\r\nc"));
    EXPECT_EQ(window_.GetTextLength(IDC_NOTICE), 7u);

    window_.SetText(IDC_NOTICE, u"x\r\ny\r\n");
    EXPECT_EQ(window_.Notice()->document()->blockCount(), 3);
    EXPECT_EQ(Text(IDC_NOTICE), QStringLiteral("x\r\ny\r\n"));
    EXPECT_EQ(window_.GetTextLength(IDC_NOTICE), 6u);

    // Stored bytes come back unchanged: a non-breaking space stays one.
    platform::SetAnsiCodePageOverride(1252);
    window_.SetAnsiText(IDC_NOTICE, "a\xA0\xE9");
    EXPECT_EQ(window_.GetText(IDC_NOTICE), u"a\u00A0\u00E9");
    platform::SetAnsiCodePageOverride(std::nullopt);
}

TEST_F(DialogContractTest, NoticeLimitRefusesTypingAndPastingBeyondIt) {
    window_.LimitText(IDC_NOTICE, 5);
    QTest::keyClicks(window_.Notice(), QStringLiteral("abcd"));
    QTest::keyClick(window_.Notice(), Qt::Key_Return);  // would make 6
    EXPECT_EQ(Text(IDC_NOTICE), QStringLiteral("abcd"));
    QTest::keyClicks(window_.Notice(), QStringLiteral("ef"));
    EXPECT_EQ(Text(IDC_NOTICE), QStringLiteral("abcde"));

    // Pasting over a selection frees what it replaces; what does not fit is cut.
    window_.SetText(IDC_NOTICE, u"abc");
    QTextCursor cursor = window_.Notice()->textCursor();
    cursor.setPosition(1);
    cursor.setPosition(2, QTextCursor::KeepAnchor);  // "b"
    window_.Notice()->setTextCursor(cursor);
    QApplication::clipboard()->setText(QStringLiteral("XY\r\nZ"));
    QTest::keyClick(window_.Notice(), Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(Text(IDC_NOTICE), QStringLiteral("aXYc"));
    QTest::keyClick(window_.Notice(), Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(Text(IDC_NOTICE), QStringLiteral("aXYXc"));

    // The program's own text is not held to the limit.
    window_.SetText(IDC_NOTICE, u"0123456789");
    QTest::keyClicks(window_.Notice(), QStringLiteral("z"));
    EXPECT_EQ(window_.GetTextLength(IDC_NOTICE), 10u);
}

TEST_F(DialogContractTest, NoticeLimitCountsBytesUnderADoubleByteCodePage) {
    platform::SetAnsiCodePageOverride(932);  // Japanese: two bytes for a kanji
    window_.LimitText(IDC_NOTICE, 5);
    for (QChar kanji : QString::fromUtf8("日本語")) {  // typed, as an input method commits
        QTest::sendKeyEvent(QTest::Click, window_.Notice(), Qt::Key_unknown, QString(kanji),
                            Qt::NoModifier);
    }
    EXPECT_EQ(Text(IDC_NOTICE), QString::fromUtf8("日本"));
    QTest::keyClicks(window_.Notice(), QStringLiteral("ab"));
    EXPECT_EQ(Text(IDC_NOTICE), QString::fromUtf8("日本a"));
    platform::SetAnsiCodePageOverride(std::nullopt);
}

TEST_F(DialogContractTest, KeyEditsTakeTheirLimitAndOnlyExitEscAndTheCloseBoxSendCommandTwo) {
    // No default button: Enter in a key edit does nothing, in the notice it breaks
    // the line, on a focused button it presses that button.
    window_.LimitText(IDC_USE_KEY, 6);
    auto* key = window_.Control(IDC_USE_KEY);
    QTest::keyClicks(key, QStringLiteral("1234567"));
    EXPECT_EQ(Text(IDC_USE_KEY), QStringLiteral("123456"));
    QTest::keyClick(key, Qt::Key_Return);
    QTest::keyClick(key, Qt::Key_Enter);
    EXPECT_TRUE(proc_.commands.empty());
    QTest::keyClick(window_.Notice(), Qt::Key_Return);
    EXPECT_EQ(Text(IDC_NOTICE), QStringLiteral("\r\n"));
    QTest::keyClick(window_.Control(IDC_LOAD), Qt::Key_Return);
    EXPECT_EQ(proc_.commands, (std::vector<std::uintptr_t>{MakeCommand(IDC_NOTICE, kEnChange),
                                                           MakeCommand(IDC_LOAD, kBnClicked)}));
    proc_.commands.clear();

    QTest::keyClick(&window_, Qt::Key_Escape);
    window_.close();
    QTest::mouseClick(window_.Control(kIdCancel), Qt::LeftButton);
    EXPECT_EQ(proc_.commands, std::vector<std::uintptr_t>(3, MakeCommand(kIdCancel, kBnClicked)));
    // Ending is the logic's decision, not the toolkit's.
    EXPECT_TRUE(window_.isVisible());
    window_.EndDialog(kIdCancel);
    EXPECT_FALSE(window_.isVisible());
    EXPECT_EQ(window_.DialogResult(), kIdCancel);
}

TEST_F(DialogContractTest, ReaderListSortsIgnoringLetterCase) {
    window_.ListSelect(IDC_READER, 0);
    EXPECT_EQ(window_.ListSelection(IDC_READER), -1) << "an empty list selects nothing";
    for (auto name : {u"USB1", u"com2", u"COM1", u"Com10"}) {
        window_.ListAdd(IDC_READER, name);
    }
    const std::u16string sorted[] = {u"COM1", u"Com10", u"com2", u"USB1"};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(window_.ListText(IDC_READER, i), sorted[i]);
    }
    EXPECT_EQ(window_.ListSelection(IDC_READER), -1);
    window_.ListSelect(IDC_READER, 2);
    EXPECT_EQ(window_.ListSelection(IDC_READER), 2);
    // A user's click selects too.
    auto* list = qobject_cast<QListWidget*>(window_.Control(IDC_READER));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualItemRect(list->item(3)).center());
    EXPECT_EQ(window_.ListSelection(IDC_READER), 3);
    // As in a single-selection list box, the user cannot take the selection away.
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::ControlModifier,
                      list->visualItemRect(list->item(3)).center());
    EXPECT_EQ(window_.ListSelection(IDC_READER), 3);
    QTest::keyClick(list, Qt::Key_Space, Qt::ControlModifier);
    EXPECT_EQ(window_.ListSelection(IDC_READER), 3);
}

TEST_F(DialogContractTest, MonitorPostsArriveOnTheWindowThreadAlsoWhileABoxIsOpen) {
    const auto uiThread = std::this_thread::get_id();
    std::thread([&] { window_.MessageTarget()->Post(0x80A5, 0x10001); }).join();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !proc_.posted.empty(); }));
    EXPECT_EQ(proc_.posted[0].message, 0x80A5u);
    EXPECT_EQ(proc_.posted[0].wParam, 0x10001u);
    EXPECT_EQ(proc_.posted[0].thread, uiThread);

    bool arrivedWhileOpen = false;
    BoxCloser closer([&] {
        std::thread([&] { window_.MessageTarget()->Post(0x80A5, 0); }).join();
        arrivedWhileOpen = QTest::qWaitFor([&] { return proc_.posted.size() == 2; }, 3000);
    });
    EXPECT_EQ(window_.ShowMessageBox(u"text", u"caption", 0x10), kIdOk);
    EXPECT_TRUE(arrivedWhileOpen);
    ExpectOneBox(closer, QStringLiteral("text"), QStringLiteral("caption"), QMessageBox::Critical);
}

TEST_F(DialogContractTest, AControlDisabledUnderTheFocusHandsItToTheReaderListNeverToExit) {
    window_.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window_));
    for (int id : {IDC_USE_KEY, IDC_SAVE, IDC_NOTICE}) {
        window_.SetFocus(id);
        ASSERT_EQ(IdOf(window_, QApplication::focusWidget()), id);
        window_.Enable(id, false);
        EXPECT_EQ(IdOf(window_, QApplication::focusWidget()), IDC_READER) << id;
        window_.Enable(id, true);
    }
}

// By its label, or, for the two key fields whose labels differ only in letter
// case, by the key each holds.
TEST_F(DialogContractTest, EveryEditAndTheListIsNamedForAScreenReader) {
    const std::pair<int, const char*> names[] = {{IDC_READER, "Reader"},
                                                 {IDC_ACCESS_KEY, "Current access key, for Change"},
                                                 {IDC_NEW_ACCESS_KEY, "New access key"},
                                                 {IDC_USE_KEY, "Access key for Load and Save"},
                                                 {IDC_NOTICE, "Notice"}};
    for (const auto& [id, name] : names) {
        QAccessibleInterface* accessible =
            QAccessible::queryAccessibleInterface(window_.Control(id));
        ASSERT_NE(accessible, nullptr) << id;
        EXPECT_EQ(accessible->text(QAccessible::Name), QString::fromUtf8(name)) << id;
    }
}

TEST_F(DialogContractTest, AYesNoBoxWhoseSecondButtonIsTheDefaultAnswersNoToEnter) {
    BoxCloser closer;
    const std::uint32_t style = kMbYesNo | kMbIconQuestion | kMbDefButton2;
    EXPECT_EQ(window_.ShowMessageBox(u"Replace?", u"Save", style), kIdNo);
    closer.press = QMessageBox::Yes;
    EXPECT_EQ(window_.ShowMessageBox(u"Replace?", u"Save", style), kIdYes);
    EXPECT_EQ(closer.seen.size(), 2u);
    EXPECT_EQ(closer.seen[0].icon, QMessageBox::Question);
}

// Qt's own button texts follow the program's language, so a Russian box is
// Russian throughout; English needs no translation.
TEST(QtTranslations, BoxButtonsSpeakTheProgramsLanguage) {
    EnsureApplication();
    const auto yesText = [] {
        QMessageBox box(QMessageBox::Question, QString(), QString(),
                        QMessageBox::Yes | QMessageBox::No);
        return box.button(QMessageBox::Yes)->text();
    };
    {
        platform::ScopedThreadLocale english(0x0409);
        EXPECT_EQ(InstallQtTranslations(), nullptr);
    }
    platform::ScopedThreadLocale russian(0x0419);
    const auto translations = InstallQtTranslations();
    ASSERT_NE(translations, nullptr) << "Qt's Russian translation (qt6-translations-l10n)";
    EXPECT_EQ(yesText(), QString::fromUtf8("&Да"));
}

}  // namespace
}  // namespace app::qt::testing
