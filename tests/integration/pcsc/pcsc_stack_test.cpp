// The program's card sequences over a PC/SC reader (pcsc_stack_fixture.h): the
// same images as over the virtual reader, clear codes when the key is wrong or the
// card leaves, no other program between the commands of a Save, the commands a
// Load sends, and the monitor.

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "card/access_key_change.h"
#include "card/notice_file.h"
#include "card_test_support.h"
#include "pcsc_stack_fixture.h"
#include "platform/code_page.h"
#include "reader/acr120_api.h"
#include "reader/reader_error.h"

namespace pcsctest {
namespace {

bool Eventually(const std::function<bool()>& condition) {
    for (int i = 0; i < 500 && !condition(); ++i) {
        std::this_thread::sleep_for(10ms);
    }
    return condition();
}

class PcscStack : public StackTest<testing::TestWithParam<CardKind>> {
protected:
    CardKind Kind() const { return GetParam(); }
    std::size_t Capacity() const { return cardtest::DataAreaSize(Kind()) - 2; }
};

// What a user does with a card: Load, Save the fullest text, Change !, Load and
// Save with the new key.
std::vector<std::string> UseTheCard(CACR120Mifare& card, std::size_t capacity) {
    std::vector<std::string> loaded;
    loaded.push_back(notice::ReadNotice(card, u"").storedText);
    notice::WriteNotice(card, u"", platform::FromAnsi(Text(capacity)));
    loaded.push_back(notice::ReadNotice(card, u"").storedText);
    notice::ChangeAccessKey(
        card, [] { return std::u16string(u""); }, u"n3w");
    loaded.push_back(notice::ReadNotice(card, u"n3w").storedText);
    notice::WriteNotice(card, u"n3w", u"after the change");
    loaded.push_back(notice::ReadNotice(card, u"n3w").storedText);
    return loaded;
}

TEST_P(PcscStack, LoadSaveAndChangeLeaveTheSameImageAsTheVirtualReader) {
    const Bytes image = cardtest::CardWithNotice(Kind(), "before");
    Place(image);
    card_.SetReaderName(kPcscReader);
    card_.Connect();
    // The same image in the virtual USB1, through the same library at the same time.
    field_.PlaceImage("USB1", image, cardtest::kCardFile);
    CACR120Mifare virtualCard(&CMonThread::Create);
    virtualCard.SetReaderName(u"USB1");
    virtualCard.Connect();

    const auto overPcsc = UseTheCard(card_, Capacity());
    const auto overVirtual = UseTheCard(virtualCard, Capacity());
    EXPECT_EQ(overPcsc, overVirtual);
    EXPECT_EQ(overPcsc.front(), "before");
    EXPECT_TRUE(cardtest::SameImage(vpcd_.Image(),
                                    field_.ReadCard(std::string("USB1/") + cardtest::kCardFile)));
}

TEST_P(PcscStack, WrongKeyCardTakenAwayAndNoCardGiveClearCodesAndTheCardWorksAgain) {
    const Bytes image = cardtest::CardWithNotice(Kind(), "kept");
    Place(image);
    card_.SetReaderName(kPcscReader);
    card_.Connect();

    cardtest::ExpectReaderError([&] { notice::ReadNotice(card_, u"wrong"); },
                                acr120::rc::kLoginFailed);
    vpcd_.TakeAwayAfterWrites(2);
    cardtest::ExpectReaderError(
        [&] { notice::WriteNotice(card_, u"", u"a text of forty bytes or so, 3 blocks"); },
        acr120::rc::kNoCard);
    ExpectReleased(card_);
    ASSERT_TRUE(PcscDaemon::WaitForCard(false));
    cardtest::ExpectReaderError([&] { notice::ReadNotice(card_, u""); }, acr120::rc::kNoCard);

    // Put back as it was left: two blocks written, the rest as before.
    const Bytes left = vpcd_.Image();
    EXPECT_NE(left, image);
    Place(left);
    notice::WriteNotice(card_, u"", u"again");
    EXPECT_EQ(notice::ReadNotice(card_, u"").storedText, "again");
}

// Once our Save has begun to write, another program keeps loading the factory
// key, authenticating the notice's first sector and overwriting one of its blocks.
// Held, the card takes none of its commands until we let it go, and holds what
// the Save wrote and nothing else.
TEST_P(PcscStack, AnotherProgramCannotComeBetweenTheCommandsOfASave) {
    Place(cardtest::CardWithNotice(Kind(), "before"));
    card_.SetReaderName(kPcscReader);
    card_.Connect();
    OtherProgram other;
    ASSERT_TRUE(other.Connected());
    const pcsc::Bytes junk(pcsc::kMifareBlockSize, 0xEE);
    std::atomic<bool> saving{false};
    std::atomic<bool> sending{false};
    std::atomic<bool> stop{false};
    std::atomic<int> writesDuringSave{0};
    std::thread intruder([&] {
        while (!saving && !stop) {
            std::this_thread::sleep_for(1ms);
        }
        while (!stop) {
            sending = true;
            other.Send(pcsc::LoadKeyCommand(cardtest::kTransportKey.data()));
            other.Send(pcsc::AuthenticateCommand(4, false));
            if (other.Send(pcsc::UpdateBinaryCommand(5, junk.data())) == 0x9000 && saving) {
                ++writesDuringSave;
            }
        }
    });
    // The Save's first write is in flight: the other program's first command goes
    // to the service meanwhile, to be served as soon as the service may.
    vpcd_.BeforeAnswerToWrite(1, [&] {
        saving = true;
        Eventually([&] { return sending.load(); });
        std::this_thread::sleep_for(20ms);
    });
    const std::string text = Text(Capacity());
    try {
        notice::WriteNotice(card_, u"", platform::FromAnsi(text));
    } catch (const CACR120Exception& error) {
        ADD_FAILURE() << "the Save failed with " << error.GetReturnCode();
    }
    const Bytes image = vpcd_.Image();  // still held: the other program waits
    saving = false;
    stop = true;
    card_.Disconnect();
    intruder.join();
    EXPECT_TRUE(sending);
    EXPECT_EQ(writesDuringSave, 0);
    EXPECT_TRUE(cardtest::SameImage(image, cardtest::CardWithNotice(Kind(), text)));
}

// One held Load: the listing's and the selection's UID reads, one key load, and
// one authentication per sector.
TEST_P(PcscStack, ALoadReadsTheUidTwiceAndLoadsTheKeyOnce) {
    Place(cardtest::CardWithNotice(Kind(), Text(Capacity())));
    card_.SetReaderName(kPcscReader);
    card_.Connect();
    auto before = vpcd_.Commands();
    EXPECT_EQ(notice::ReadNotice(card_, u"").storedText, Text(Capacity()));
    auto after = vpcd_.Commands();
    EXPECT_EQ(after[0xCA] - before[0xCA], 2);
    EXPECT_EQ(after[0x82] - before[0x82], 1);
    EXPECT_EQ(after[0x86] - before[0x86], cardtest::SectorCount(Kind()));
}

TEST_P(PcscStack, MonitorSeesTheCardComeAndGo) {
    card_.SetReaderName(kPcscReader);
    card_.Connect();
    card_.StartMonitor(&window_, kMonitorMessage);
    const std::uintptr_t present = (Kind() == CardKind::kClassic1K ? 1u : 2u) << 16 | 1u;
    Place(cardtest::PatternedCard(Kind()));
    EXPECT_TRUE(window_.Reaches(present));
    TakeAway();
    EXPECT_TRUE(window_.Reaches(0));
    Place(cardtest::PatternedCard(Kind()));
    EXPECT_TRUE(window_.Reaches(present));
}

INSTANTIATE_TEST_SUITE_P(Cards, PcscStack,
                         testing::Values(CardKind::kClassic1K, CardKind::kClassic4K),
                         [](const auto& info) { return cardtest::Name(info.param); });

}  // namespace
}  // namespace pcsctest
