// The main window's logic against a recording window and card: the window
// states, the order of the steps a user can see (focus, enabled controls, boxes)
// and the guard that turns each failure into exactly one box; and the error
// box texts exactly as users and support staff compare them.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <new>

#include "app/main_dlg.h"
#include "errors/atl_exception.h"
#include "errors/coded_exception.h"
#include "errors/show_error.h"
#include "fake_window.h"
#include "platform/locale.h"

namespace app::testing {
namespace {

using ::testing::ElementsAre;

constexpr std::uintptr_t kCard1K = 0x10001, kCard4K = 0x20001, kFieldEmpty = 0;
constexpr char16_t kLoginFailed[] = u"80004005 : ACR120 : Login failed";

CSrvExceptionBase LoginFailed() {
    return CSrvExceptionBase(kEFail, u"ACR120", u"Login failed");
}

class MainDlgTest : public ::testing::Test {
protected:
    MainDlgTest()
        : english_(0x0409),
          dlg_(
              window_,
              [this]() -> std::unique_ptr<ICardSession> {
                  auto card = std::make_unique<FakeCard>(log_);
                  card_ = card.get();
                  return card;
              },
              [this](std::vector<std::u16string>& names) { names = readers_; }) {
        platform::SetAnsiCodePageOverride(1252);
    }
    ~MainDlgTest() override { platform::SetAnsiCodePageOverride(std::nullopt); }

    void Send(std::uint32_t message, std::uintptr_t wParam) {
        std::intptr_t result = -1;
        EXPECT_TRUE(dlg_.ProcessWindowMessage(message, wParam, 0, result));
        EXPECT_EQ(result, 0);
    }
    void Click(int id) { Send(kWmCommand, MakeCommand(id, kBnClicked)); }
    void Monitor(std::uintptr_t wParam) { Send(kMonitorMessage, wParam); }
    void UserTypes(int id, std::u16string_view text) {
        window_.controls[id].text = text;
        if (id == IDC_NOTICE) {
            Send(kWmCommand, MakeCommand(IDC_NOTICE, kEnChange));
        }
    }
    void CardReady(std::uintptr_t card = kCard1K) {
        Send(kWmInitDialog, 0);
        Click(IDC_CONNECT);
        Monitor(card);
    }

    bool On(int id) { return window_.controls[id].enabled; }
    std::u16string Text(int id) { return window_.controls[id].text; }
    bool CardControls(bool enabled) {
        return std::all_of(kCardControls.begin(), kCardControls.end(),
                           [&](int id) { return On(id) == enabled; });
    }
    bool NotConnected() { return On(IDC_CONNECT) && !On(IDC_DISCONNECT) && CardControls(false); }
    bool NoticeViewCleared() {
        return Text(IDC_NOTICE).empty() && !On(IDC_NOTICE) && Text(IDC_USAGE).empty() &&
               dlg_.Capacity() == 0;
    }
    std::ptrdiff_t Where(const std::string& line) {
        return std::find(log_.begin(), log_.end(), line) - log_.begin();
    }
    bool Logged(const std::string& line) { return Where(line) < std::ssize(log_); }
    // Each failure is one error box, shown after the busy cursor is gone.
    void ExpectErrorBoxes(std::initializer_list<std::u16string_view> texts) {
        ASSERT_EQ(window_.boxes.size(), texts.size());
        auto box = window_.boxes.begin();
        for (auto text : texts) {
            EXPECT_EQ(box->text, text);
            EXPECT_EQ(box->caption, u"Error");
            EXPECT_EQ(box->style, 0x10u);
            EXPECT_FALSE(box++->busyWhenShown);
        }
    }

    platform::ScopedThreadLocale english_;
    Log log_;
    FakeWindow window_{log_};
    FakeCard* card_ = nullptr;
    std::vector<std::u16string> readers_{u"USB1", u"com2", u"COM1"};
    CMainDlg dlg_;
};

TEST_F(MainDlgTest, FirstSightIsNotConnectedWithFocusOnTheReaderListAndOnlyTheTableIsHandled) {
    Send(kWmInitDialog, 0);
    EXPECT_FALSE(window_.endResult);
    EXPECT_TRUE(window_.boxes.empty());
    EXPECT_TRUE(NoticeViewCleared()) << "the placeholder usage text must never show";
    EXPECT_TRUE(NotConnected());
    EXPECT_EQ(window_.focus, IDC_READER);
    // Focus leaves before the controls go grey: it cannot stay in a disabled edit.
    EXPECT_LT(Where("focus 1031"), Where("disable 1020"));
    for (int id : {IDC_ACCESS_KEY, IDC_NEW_ACCESS_KEY, IDC_USE_KEY}) {
        EXPECT_EQ(window_.controls[id].limit, 6u) << id;
    }
    EXPECT_EQ(window_.list.size(), 3u);
    EXPECT_EQ(window_.selection, 0);
    // Enter in an edit sends IDOK; key edits notify changes too: neither is ours.
    std::intptr_t result = 0;
    EXPECT_FALSE(dlg_.ProcessWindowMessage(kWmCommand, MakeCommand(1, kBnClicked), 0, result));
    EXPECT_FALSE(
        dlg_.ProcessWindowMessage(kWmCommand, MakeCommand(IDC_USE_KEY, kEnChange), 0, result));

    // Connect with nothing selected does nothing at all.
    window_.ListSelect(IDC_READER, -1);
    log_.clear();
    Click(IDC_CONNECT);
    EXPECT_TRUE(log_.empty());
}

TEST_F(MainDlgTest, ConnectOpensTheSelectedReaderAndWaitsForACard) {
    Send(kWmInitDialog, 0);
    window_.ListSelect(IDC_READER, 1);
    log_.clear();
    Click(IDC_CONNECT);
    EXPECT_THAT(log_, ElementsAre("focus 1031", "disable 1020", "disable 1028", "disable 1021",
                                  "disable 1029", "disable 1006", "disable 1023", "disable 1025",
                                  "disable 1007", "disable 1008", "busy", "card SetReaderName com2",
                                  "card Connect", "card StartMonitor 32933", "idle", "enable 1010",
                                  "disable 1009"));
    EXPECT_TRUE(window_.boxes.empty());
}

TEST_F(MainDlgTest, FailedConnectShowsOneBoxAndStaysNotConnected) {
    Send(kWmInitDialog, 0);
    window_.SetFocus(IDC_READER);
    card_->faults["Connect"] = [] { throw CSrvExceptionBase(kEFail, u"ACR120", u"Port failed"); };
    Click(IDC_CONNECT);
    ExpectErrorBoxes({u"80004005 : ACR120 : Port failed"});
    EXPECT_TRUE(NotConnected());
    EXPECT_EQ(window_.focus, IDC_READER);

    // A monitor that cannot start: the reader is closed again before the box.
    card_->faults = {
        {"StartMonitor", [] { throw CCodedException(kErrReaderNotConnected, u"ACR120Base"); }}};
    Click(IDC_CONNECT);
    EXPECT_EQ(window_.boxes.size(), 2u);
    EXPECT_LT(Where("card Disconnect"),
              Where("box 80004005 : ACR120Base : Reader was not connected"));
    EXPECT_FALSE(card_->connected);
    EXPECT_TRUE(NotConnected());
}

TEST_F(MainDlgTest, CardEventsSwitchTheCardControlsByType) {
    Send(kWmInitDialog, 0);
    Click(IDC_CONNECT);
    log_.clear();
    for (std::uintptr_t other : {0x30001u, 0x00001u, 0x70101u}) {
        Monitor(other);  // 7-byte tag, unknown tag, unknown type
    }
    EXPECT_TRUE(log_.empty());

    for (auto card : {kCard1K, kCard4K}) {
        SCOPED_TRACE(card);
        Monitor(card);
        EXPECT_TRUE(CardControls(true));
        EXPECT_EQ(log_.back(), "focus 1023") << "focus goes in once the edit is enabled";
        EXPECT_TRUE(NoticeViewCleared()) << "nothing is loaded by itself";

        card_->notice = notice::NoticeContent{"text", 750};
        Click(IDC_LOAD);
        Monitor(kFieldEmpty);
        EXPECT_TRUE(NoticeViewCleared());
        EXPECT_TRUE(CardControls(false));
        EXPECT_EQ(window_.focus, IDC_READER);
        EXPECT_TRUE(On(IDC_DISCONNECT) && card_->connected) << "the reader stays open";
    }
}

TEST_F(MainDlgTest, DisconnectDiscardsEditsAndLateCardMessagesAreIgnored) {
    CardReady();
    Click(IDC_LOAD);
    UserTypes(IDC_NOTICE, u"unsaved");
    Click(IDC_DISCONNECT);
    EXPECT_TRUE(window_.boxes.empty());
    EXPECT_FALSE(Logged("card WriteNotice |unsaved"));
    EXPECT_TRUE(NoticeViewCleared());
    EXPECT_TRUE(NotConnected() && !card_->connected);
    EXPECT_EQ(window_.focus, IDC_READER);

    // Posted by the monitor just before Disconnect stopped it: no reader is open,
    // so it must not enable anything.
    log_.clear();
    Monitor(kCard1K);
    Monitor(kFieldEmpty);
    EXPECT_TRUE(log_.empty());

    Send(kWmDestroy, 0);
    EXPECT_EQ(log_.back(), "card destroyed");
    Monitor(kCard1K);
    EXPECT_TRUE(CardControls(false));
}

// Text typed and not yet on the card outlives the card's leaving: shown, not
// editable, until the same card returns and one Save stores it.
TEST_F(MainDlgTest, AnUnsavedNoticeWaitsForItsOwnCardAndAnotherCardDropsIt) {
    CardReady(kCard4K);
    card_->notice = notice::NoticeContent{"old", 3438};
    Click(IDC_LOAD);
    window_.SetFocus(IDC_NOTICE);
    UserTypes(IDC_NOTICE, u"typed");
    log_.clear();
    Monitor(kFieldEmpty);
    EXPECT_LT(Where("focus 1031"), Where("disable 1022")) << "focus leaves the editor first";
    EXPECT_EQ(Text(IDC_NOTICE), u"typed");
    EXPECT_EQ(Text(IDC_USAGE), u"5 / 3438");
    EXPECT_FALSE(On(IDC_NOTICE));
    EXPECT_TRUE(CardControls(false));
    EXPECT_EQ(window_.focus, IDC_READER);

    // The same card: editable again with its capacity, and Save stores the text.
    window_.controls[IDC_NOTICE].limit = 0;
    Monitor(kCard4K);
    EXPECT_TRUE(Logged("card IdentifyCard"));
    EXPECT_TRUE(On(IDC_NOTICE) && CardControls(true));
    EXPECT_EQ(window_.controls[IDC_NOTICE].limit, 3438u);
    Click(IDC_SAVE);
    EXPECT_TRUE(Logged("card WriteNotice |typed"));
    EXPECT_TRUE(window_.boxes.empty());

    // Saved: the card's leaving clears the view as before.
    Monitor(kFieldEmpty);
    EXPECT_TRUE(NoticeViewCleared());

    // Another card (another serial number) drops the kept text.
    Monitor(kCard4K);
    Click(IDC_LOAD);
    UserTypes(IDC_NOTICE, u"mine");
    Monitor(kFieldEmpty);
    card_->selected.serialNumber[0] = 9;
    Monitor(kCard4K);
    EXPECT_TRUE(NoticeViewCleared());
    EXPECT_TRUE(CardControls(true));

    // Not told which card came (it left again at once): nothing is enabled, the
    // text waits for the next try; Disconnect drops it without a question.
    Click(IDC_LOAD);
    UserTypes(IDC_NOTICE, u"mine");
    Monitor(kFieldEmpty);
    card_->faults["IdentifyCard"] = [] { throw LoginFailed(); };
    Monitor(kCard4K);
    EXPECT_TRUE(window_.boxes.empty());
    EXPECT_TRUE(CardControls(false) && !On(IDC_NOTICE));
    EXPECT_EQ(Text(IDC_NOTICE), u"mine");
    Click(IDC_DISCONNECT);
    EXPECT_TRUE(window_.boxes.empty());
    EXPECT_TRUE(NoticeViewCleared());
}

// The record's length is written as zero first: a cut Save may leave the card
// empty, so the text stays, also when it was the loaded notice itself.
TEST_F(MainDlgTest, ASaveCutByTheCardLeavingKeepsTheTextForTheNextSave) {
    CardReady();
    card_->notice = notice::NoticeContent{"stored", 750};
    Click(IDC_LOAD);
    card_->faults["WriteNoticeBytes"] = [] { throw LoginFailed(); };
    window_.whileBoxOpen = [this] { Monitor(kFieldEmpty); };
    Click(IDC_SAVE);
    window_.whileBoxOpen = nullptr;
    ExpectErrorBoxes({kLoginFailed});
    EXPECT_EQ(Text(IDC_NOTICE), u"stored");
    EXPECT_FALSE(On(IDC_NOTICE));

    card_->faults.clear();
    Monitor(kCard1K);
    Click(IDC_SAVE);
    EXPECT_EQ(std::count(log_.begin(), log_.end(), "card WriteNoticeBytes |stored"), 2);
    Monitor(kFieldEmpty);
    EXPECT_TRUE(NoticeViewCleared());
}

// Exit and Esc end the program at once unless that throws away text the card
// does not hold; then they ask, No being the default.
TEST_F(MainDlgTest, ExitAsksOnlyWhenItWouldDropUnsavedText) {
    CardReady();
    Click(IDC_LOAD);
    Click(kIdCancel);
    EXPECT_EQ(window_.endResult, kIdCancel);
    EXPECT_TRUE(window_.boxes.empty());

    window_.endResult.reset();
    UserTypes(IDC_NOTICE, u"typed");
    Monitor(kFieldEmpty);  // kept: still the user's only copy
    Click(kIdCancel);
    ASSERT_EQ(window_.boxes.size(), 1u);
    EXPECT_EQ(window_.boxes[0].text,
              u"The notice was changed and is not saved on the card. Exit without saving it?");
    EXPECT_EQ(window_.boxes[0].style, kMbYesNo | kMbIconQuestion | kMbDefButton2);
    EXPECT_FALSE(window_.endResult);
    EXPECT_EQ(Text(IDC_NOTICE), u"typed");
    window_.yesNoAnswer = kIdYes;
    Click(kIdCancel);
    EXPECT_EQ(window_.endResult, kIdCancel);
}

TEST_F(MainDlgTest, LoadShowsTheNoticeAndAWrongKeyLeavesTheViewAsItWas) {
    CardReady(kCard4K);
    card_->faults["ReadNotice"] = [] { throw LoginFailed(); };
    Click(IDC_LOAD);  // nothing loaded yet: the notice stays disabled
    EXPECT_TRUE(NoticeViewCleared());
    EXPECT_TRUE(CardControls(true));

    card_->faults.clear();
    UserTypes(IDC_USE_KEY, u"abc");
    card_->notice = notice::NoticeContent{"caf\xE9\r\nbar", 750};  // Windows-1252
    log_.clear();
    Click(IDC_LOAD);
    // Capacity known before the label, limit last; the focus stays on the key.
    EXPECT_THAT(log_, ElementsAre("busy", "card ReadNotice abc", "idle", "ansi 1022",
                                  "text 1024=9 / 750", "enable 1022", "limit 1022=750"));
    EXPECT_EQ(Text(IDC_NOTICE), u"caf\u00E9\r\nbar");
    // The label follows the user's typing, a line break counting two.
    UserTypes(IDC_NOTICE, u"a\r\nb\r\n");
    EXPECT_EQ(Text(IDC_USAGE), u"6 / 750");

    card_->faults["ReadNotice"] = [] { throw LoginFailed(); };
    Click(IDC_LOAD);
    ExpectErrorBoxes({kLoginFailed, kLoginFailed});
    EXPECT_EQ(Text(IDC_NOTICE), u"a\r\nb\r\n");
    EXPECT_TRUE(On(IDC_NOTICE));

    // The card taken away while the box is open is handled at once.
    window_.whileBoxOpen = [this] { Monitor(kFieldEmpty); };
    Click(IDC_LOAD);
    EXPECT_TRUE(CardControls(false) && !On(IDC_NOTICE));
    EXPECT_EQ(window_.focus, IDC_READER);
}

TEST_F(MainDlgTest, AnUneditedNoticeIsSavedAsStoredAndTheLabelCountsCodePageBytes) {
    CardReady();
    // Lone CR and LF from another tool, and 0x81, which 1252 does not define: shown
    // as line breaks and a stand-in, stored as they were.
    card_->notice = notice::NoticeContent{"a\nb\rc\x81", 750};
    Click(IDC_LOAD);
    EXPECT_EQ(Text(IDC_NOTICE).substr(0, 7), u"a\r\nb\r\nc");
    EXPECT_EQ(Text(IDC_USAGE), u"6 / 750");
    Click(IDC_SAVE);
    EXPECT_TRUE(Logged("card WriteNoticeBytes |a\nb\rc\x81"));
    UserTypes(IDC_NOTICE, u"a\r\nb");
    Click(IDC_SAVE);
    EXPECT_TRUE(Logged("card WriteNotice |a\r\nb"));

    // Japanese (932): two bytes a character, as the card counts them.
    platform::SetAnsiCodePageOverride(platform::AnsiCodePageForLocaleName("ja_JP.UTF-8"));
    card_->notice = notice::NoticeContent{"\x93\xFA\x96\x7B", 750};
    Click(IDC_LOAD);
    EXPECT_EQ(Text(IDC_NOTICE), u"\u65E5\u672C");
    EXPECT_EQ(Text(IDC_USAGE), u"4 / 750");
    UserTypes(IDC_NOTICE, u"\u65E5\u672C\u8A9E\r\nx");
    EXPECT_EQ(Text(IDC_USAGE), u"9 / 750");
}

TEST_F(MainDlgTest, SaveWithNothingLoadedOrTypedAsksBeforeItEmptiesTheCard) {
    CardReady();
    UserTypes(IDC_USE_KEY, u"k1");
    Click(IDC_SAVE);  // the answer is No, the default
    ASSERT_EQ(window_.boxes.size(), 1u);
    EXPECT_EQ(window_.boxes[0].text,
              u"Nothing was loaded from this card. Replace the notice on the card with an empty "
              u"one?");
    EXPECT_EQ(window_.boxes[0].style, kMbYesNo | kMbIconQuestion | kMbDefButton2);
    EXPECT_FALSE(Logged("card WriteNotice k1|"));

    window_.yesNoAnswer = kIdYes;
    Click(IDC_SAVE);
    EXPECT_TRUE(Logged("card WriteNotice k1|"));

    // Typed text, or a loaded notice (even an empty one, even erased), is the user's
    // own: no question.
    window_.boxes.clear();
    window_.yesNoAnswer = kIdNo;
    UserTypes(IDC_NOTICE, u"typed");
    Click(IDC_SAVE);
    EXPECT_TRUE(Logged("card WriteNotice k1|typed"));
    Click(IDC_LOAD);
    UserTypes(IDC_NOTICE, u"x");
    UserTypes(IDC_NOTICE, u"");
    Click(IDC_SAVE);
    EXPECT_EQ(window_.boxes.size(), 0u);
}

TEST_F(MainDlgTest, SaveWritesTheEditorTextAndShowsEachFailureKindInItsOwnBox) {
    CardReady();
    UserTypes(IDC_NOTICE, u"typed");
    card_->faults["WriteNotice"] = [] { throw std::bad_alloc(); };
    Click(IDC_SAVE);
    card_->faults["WriteNotice"] = [] { AtlThrow(kEInvalidArg); };
    Click(IDC_SAVE);
    ExpectErrorBoxes({u"Out of memory !", u"80070057"});
    EXPECT_TRUE(CardControls(true));
}

// The cursor says "working" while the reader works, and is back before any box.
TEST_F(MainDlgTest, EveryCardCommandRunsUnderTheBusyCursorAndEndsItBeforeABox) {
    CardReady();
    const std::pair<int, std::string> commands[] = {
        {IDC_LOAD, "ReadNotice"},
        {IDC_SAVE, "WriteNoticeBytes"},  // the loaded notice, unedited
        {IDC_CHANGE, "ChangeAccessKey"},
        {IDC_DISCONNECT, "Disconnect"},
        {IDC_CONNECT, "Connect"}};
    for (const auto& [id, call] : commands) {
        // Disconnect never fails: it has no box to show.
        for (bool fails : {call != "Disconnect", false}) {
            SCOPED_TRACE(call + (fails ? " failing" : ""));
            card_->faults.erase(call);
            if (fails) {
                card_->faults[call] = [] { throw LoginFailed(); };
            }
            log_.clear();
            window_.boxes.clear();
            Click(id);
            const auto made = std::find_if(log_.begin(), log_.end(), [&](const std::string& line) {
                return line == "card " + call || line.starts_with("card " + call + " ");
            });
            ASSERT_NE(made, log_.end());
            const auto busy = std::find(log_.begin(), made, "busy");
            EXPECT_NE(busy, made) << "the reader works without the busy cursor";
            EXPECT_EQ(std::find(busy, made, "idle"), made);
            EXPECT_NE(std::find(made, log_.end(), "idle"), log_.end());
            EXPECT_EQ(window_.boxes.empty(), !fails && call != "ChangeAccessKey");
            for (const auto& box : window_.boxes) {
                EXPECT_FALSE(box.busyWhenShown);
            }
        }
    }
}

TEST_F(MainDlgTest, ChangeKeyClearsTheNoticeAndPutsTheNewKeyIntoUseWhenItWorks) {
    CardReady();
    Click(IDC_LOAD);
    UserTypes(IDC_ACCESS_KEY, u"old");
    UserTypes(IDC_NEW_ACCESS_KEY, u"new");
    UserTypes(IDC_USE_KEY, u"use");
    // A wrong key: the loaded notice goes, the focus and the keys stay.
    window_.SetFocus(IDC_CHANGE);
    card_->faults["ChangeAccessKey"] = [] { throw LoginFailed(); };
    Click(IDC_CHANGE);
    ExpectErrorBoxes({kLoginFailed});
    EXPECT_TRUE(NoticeViewCleared());
    EXPECT_TRUE(CardControls(true));
    EXPECT_EQ(Text(IDC_USE_KEY), u"use");
    EXPECT_EQ(window_.focus, IDC_CHANGE);

    card_->faults.clear();
    Click(IDC_LOAD);
    log_.clear();
    Click(IDC_CHANGE);
    // The view is cleared before any card work; the current key is read once the
    // card is selected.
    EXPECT_THAT(log_,
                ElementsAre("text 1024=", "text 1022=", "disable 1022", "repaint 1022", "busy",
                            "card selected", "card ChangeAccessKey old->new", "idle", "focus 1023",
                            "text 1023=new", "box Code changed successfully !"));
    EXPECT_EQ(window_.boxes[1].caption, u"Personalization");
    EXPECT_EQ(window_.boxes[1].style, 0x40u);
    EXPECT_EQ(Text(IDC_ACCESS_KEY), u"old");
    Click(IDC_LOAD);
    EXPECT_TRUE(Logged("card ReadNotice new"));
}

// Change ! erases the notice in the view and on the card: text the card does not
// hold is not thrown away without a yes, nor when the change then fails.
TEST_F(MainDlgTest, ChangeKeyAsksBeforeItDropsUnsavedText) {
    CardReady();
    Click(IDC_LOAD);
    UserTypes(IDC_NOTICE, u"typed");
    log_.clear();
    Click(IDC_CHANGE);
    ASSERT_EQ(window_.boxes.size(), 1u);
    EXPECT_EQ(window_.boxes[0].text,
              u"The notice was changed and is not saved on the card. Change ! erases the "
              u"notice. Change the key without saving it?");
    EXPECT_EQ(window_.boxes[0].style, kMbYesNo | kMbIconQuestion | kMbDefButton2);
    EXPECT_TRUE(std::none_of(log_.begin(), log_.end(), [](const std::string& line) {
        return line.starts_with("card ChangeAccessKey");
    }));
    EXPECT_EQ(Text(IDC_NOTICE), u"typed");

    Click(IDC_SAVE);  // saved: nothing left to lose, no question
    Click(IDC_CHANGE);
    EXPECT_EQ(window_.boxes.size(), 2u);
    EXPECT_EQ(window_.boxes[1].text, u"Code changed successfully !");

    Click(IDC_LOAD);
    UserTypes(IDC_NOTICE, u"typed again");
    window_.yesNoAnswer = kIdYes;
    Click(IDC_CHANGE);
    EXPECT_EQ(window_.boxes.size(), 4u);
    EXPECT_TRUE(NoticeViewCleared());
}

TEST(ShowErrorTest, TextsOfTheHierarchyAndFrameworkBoxes) {
    // Zero-padded upper-case hex, the 32-bit pattern of a negative status, and a
    // system text's final line break kept.
    EXPECT_EQ(FormatError(CSrvExceptionBase(0xA, u"S", u"text\r\n")), u"0000000A : S : text\r\n");
    platform::ScopedThreadLocale russian(0x0419);
    EXPECT_EQ(FormatError(CCodedException(kErrCardNotConnected, u"ACR120Base")),
              u"80004005 : ACR120Base : Не было выполнено подключение к карте");
}

}  // namespace
}  // namespace app::testing
