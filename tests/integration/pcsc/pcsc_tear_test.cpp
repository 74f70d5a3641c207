// Save, Change ! and clear over a real pcscd with the vpcd reader, the card leaving
// the field at each command APDU in turn (carried out, never answered) and put
// back as it was left. The card halts at a refused login as a real one does.
// Checked by what the card holds, not by the order of the commands: a Save leaves
// the old, an empty or the new notice; the same Change ! run again finishes the
// change; clear run again empties the notice; neither leaves a byte of the old
// notice. And the window's own path: a wrong key, then the right one.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <optional>
#include <string>

#include "app/card_session.h"
#include "app/main_dlg.h"
#include "card/access_key_change.h"
#include "card/notice_file.h"
#include "card_test_support.h"
#include "control/virtual_field.h"
#include "fake_window.h"
#include "monitor/mon_thread.h"
#include "pcsc/card/pcsc_daemon.h"
#include "pcsc/card/vpcd_card.h"
#include "pcsc_test_environment.h"
#include "platform/code_page.h"
#include "platform/library.h"
#include "platform/locale.h"
#include "reader/acr120_api.h"

namespace pcsctest {
namespace {

using cardtest::Bytes;
using cardtest::CardKind;
using vpcd::PcscDaemon;

// The field has the virtual USB1: the vpcd reader, the daemon's only one, is USB2.
constexpr const char16_t* kPcscReader = u"USB2";
const std::string kOldText = [] {
    std::string text;
    while (text.size() < 300) {
        text += "The old notice, which no finished command may leave behind. ";
    }
    return text.substr(0, 300);
}();
const std::string kNewText(180, 'n');

// Every cut, or with TAGQUILL_PCSC_SWEEP_STRIDE=n every nth and the last.
int StrideFromEnvironment(int fallback) {
    const char* text = std::getenv("TAGQUILL_PCSC_SWEEP_STRIDE");
    const int stride = text != nullptr ? std::atoi(text) : 0;
    return stride > 0 ? stride : fallback;
}

// Sanitizer builds run the whole suite three times over: they take a thinner sample,
// every 7th cut on 1K and every 29th on 4K (the dev build every cut on 1K and every
// 13th on 4K).
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr int kDefaultStride1K = 7;
constexpr int kDefaultStride4K = 29;
#else
constexpr int kDefaultStride1K = 1;
constexpr int kDefaultStride4K = 13;
#endif

bool HoldsOldText(const Bytes& image) {
    const std::string bytes(image.begin(), image.end());
    return bytes.find(kOldText.substr(0, 60)) != std::string::npos ||
           bytes.find(kOldText.substr(kOldText.size() - 60)) != std::string::npos;
}

struct Sequence {
    const char* name;
    // The command, as the user runs it.
    std::function<void(CACR120Mifare&)> run;
    // What the card must allow and hold once it is back after a cut (and after
    // the uninterrupted run).
    std::function<void(CACR120Mifare&)> check;
};

const Sequence kSave{
    "Save",
    [](CACR120Mifare& card) { notice::WriteNotice(card, u"", platform::FromAnsi(kNewText)); },
    [](CACR120Mifare& card) {
        EXPECT_THAT(notice::ReadNotice(card, u"").storedText,
                    testing::AnyOf(testing::Eq(kOldText), testing::Eq(""), testing::Eq(kNewText)));
    }};

const Sequence kChange{"Change",
                       [](CACR120Mifare& card) {
                           notice::ChangeAccessKey(
                               card, [] { return std::u16string(); }, u"n3w");
                       },
                       [](CACR120Mifare& card) {
                           notice::ChangeAccessKey(
                               card, [] { return std::u16string(); }, u"n3w");
                           EXPECT_EQ(notice::ReadNotice(card, u"n3w").storedText, "");
                       }};

const Sequence kClear{"clear", [](CACR120Mifare& card) { notice::EraseNotice(card, u""); },
                      [](CACR120Mifare& card) {
                          notice::EraseNotice(card, u"");
                          EXPECT_EQ(notice::ReadNotice(card, u"").storedText, "");
                      }};

class PcscTears : public VpcdTest<> {
protected:
    // The sequence uninterrupted, then cut at every `stride`th command APDU and at
    // the last; each time the card comes back as it was left and must pass `check`.
    void Sweep(const Sequence& sequence, CardKind kind, int stride) {
        const Bytes original =
            cardtest::WithData(vreader::MakeBlankCard(kind, Bytes{0x0E, 0x1A, 0x2B, 0x3C}), kind, 0,
                               cardtest::Record(kOldText));
        if (!connected_) {
            card_.SetReaderName(kPcscReader);
            card_.Connect();
            connected_ = true;
        }
        Place(original);
        int commands = 0;
        try {
            sequence.run(card_);
            commands = vpcd_.CommandCount();
            sequence.check(card_);
        } catch (const CSrvExceptionBase& error) {
            FAIL() << sequence.name
                   << " uninterrupted: " << app::testing::Narrow(error.GetDescription());
        }
        ASSERT_GT(commands, 4);
        EXPECT_FALSE(HoldsOldText(vpcd_.Image()) && sequence.name != kSave.name);
        TakeAway();
        int cuts = 0;
        for (int at = 1; at <= commands; ++at) {
            if ((at - 1) % stride != 0 && at != commands) {
                continue;
            }
            SCOPED_TRACE(std::string(sequence.name) + " cut at command APDU " + std::to_string(at) +
                         " of " + std::to_string(commands));
            ++cuts;
            Place(original);
            vpcd_.LeaveAtCommand(at);
            bool failed = false;
            try {
                sequence.run(card_);
            } catch (const CSrvExceptionBase&) {
                failed = true;
            }
            EXPECT_TRUE(failed) << "a card that left the field reported no failure";
            vpcd_.WaitUntilGone();
            ASSERT_TRUE(PcscDaemon::WaitForCard(false));
            Place(vpcd_.Image());
            try {
                sequence.check(card_);
            } catch (const CSrvExceptionBase& error) {
                ADD_FAILURE() << "the card put back fails: "
                              << app::testing::Narrow(error.GetDescription());
            }
            if (sequence.name != kSave.name) {
                EXPECT_FALSE(HoldsOldText(vpcd_.Image())) << "the old notice is still on the card";
            }
            TakeAway();
            if (HasFailure()) {
                break;  // one cut's story is enough to read
            }
        }
        std::printf("[ figures  ] %s on %s: %d command APDUs, %d cuts\n", sequence.name,
                    cardtest::Name(kind).c_str(), commands, cuts);
    }

    vreader::ScopedVirtualField field_{vreader::PcscReaders::kServed};
    CACR120Mifare card_{&CMonThread::Create};
    bool connected_ = false;
};

TEST_F(PcscTears, SaveLeavesTheOldAnEmptyOrTheNewNoticeWhereverTheCardLeaves1K) {
    Sweep(kSave, CardKind::kClassic1K, StrideFromEnvironment(kDefaultStride1K));
}
TEST_F(PcscTears, ChangeIsFinishedByTheSameChangeWhereverTheCardLeaves1K) {
    Sweep(kChange, CardKind::kClassic1K, StrideFromEnvironment(kDefaultStride1K));
}
TEST_F(PcscTears, ClearIsFinishedByClearAgainWhereverTheCardLeaves1K) {
    Sweep(kClear, CardKind::kClassic1K, StrideFromEnvironment(kDefaultStride1K));
}
TEST_F(PcscTears, SaveChangeAndClearOnA4KCardSampled) {
    const int stride = StrideFromEnvironment(kDefaultStride4K);
    for (const Sequence* sequence : {&kSave, &kChange, &kClear}) {
        Sweep(*sequence, CardKind::kClassic4K, stride);
    }
}

// The window over the PC/SC reader: a mistyped key gives one "Login failed" box,
// and the right key then loads and saves in the same session, without lifting the
// card.
TEST_F(PcscTears, TheWindowLoadsWithTheRightKeyAfterAWrongOne) {
    using namespace app;
    using namespace app::testing;
    const platform::ScopedThreadLocale english(0x0409);
    Log log;
    FakeWindow window(log);
    CMainDlg dlg(window, MifareCardFactory(platform::ProgramModule()),
                 [](std::vector<std::u16string>& names) { names = {kPcscReader}; });
    const auto send = [&](std::uint32_t message, std::uintptr_t wParam) {
        std::intptr_t result = -1;
        EXPECT_TRUE(dlg.ProcessWindowMessage(message, wParam, 0, result));
    };
    const auto click = [&](int id) { send(kWmCommand, MakeCommand(id, kBnClicked)); };
    Place(cardtest::WithData(vreader::MakeBlankCard(CardKind::kClassic1K, Bytes{1, 2, 3, 4}),
                             CardKind::kClassic1K, 0, cardtest::Record(kOldText)));
    send(kWmInitDialog, 0);
    click(IDC_CONNECT);
    send(kMonitorMessage, 0x10001);  // the monitor's own message goes to the fake's void
    ASSERT_TRUE(window.boxes.empty());

    window.controls[IDC_USE_KEY].text = u"wrong";
    click(IDC_LOAD);
    ASSERT_EQ(window.boxes.size(), 1u);
    EXPECT_EQ(window.boxes[0].text, u"80004005 : ACR120 : Login failed");

    window.controls[IDC_USE_KEY].text = u"";
    click(IDC_LOAD);
    EXPECT_EQ(window.boxes.size(), 1u) << Narrow(window.boxes.back().text);
    EXPECT_EQ(Narrow(window.controls[IDC_NOTICE].text), kOldText);
    window.controls[IDC_NOTICE].text = u"saved after a wrong key";
    send(kWmCommand, MakeCommand(IDC_NOTICE, kEnChange));
    click(IDC_SAVE);
    EXPECT_EQ(window.boxes.size(), 1u) << Narrow(window.boxes.back().text);
    click(IDC_DISCONNECT);
    const Bytes image = vpcd_.Image();
    EXPECT_EQ(std::string(image.begin() + 18, image.begin() + 18 + 23), "saved after a wrong key");
}

}  // namespace
}  // namespace pcsctest
