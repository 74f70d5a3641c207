// The program's own stack (bindings, connection, monitor, card layer) over the
// USB library beside the program, a real pcscd and our card program in the vpcd
// reader, with virtual USB readers in the same library: USB1 and USB3 virtual, so
// the first PC/SC reader (the vpcd one, when the daemon has only vpcd readers) is USB4.

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <future>
#include <optional>
#include <thread>

#include "card/notice_file.h"
#include "card_test_support.h"
#include "control/virtual_field.h"
#include "monitor/message_poster.h"
#include "monitor/mon_thread.h"
#include "pcsc/card/pcsc_daemon.h"
#include "pcsc/card/vpcd_card.h"
#include "platform/code_page.h"
#include "platform/library.h"
#include "reader/acr120_api.h"
#include "reader/reader_error.h"

namespace pcsctest {
namespace {

using vpcd::PcscDaemon;

using cardtest::Bytes;
using cardtest::CardKind;
using namespace std::chrono_literals;

PcscDaemon gDaemon;
std::optional<std::string> gNoDaemon = "not started";

class DaemonEnvironment : public testing::Environment {
public:
    void SetUp() override { gNoDaemon = gDaemon.Start(); }
    void TearDown() override { gDaemon.Stop(); }
};
const auto* const gEnvironment = testing::AddGlobalTestEnvironment(new DaemonEnvironment);

constexpr const char16_t* kPcscReader = u"USB4";
constexpr std::uint8_t kPcscPort = 3;

std::string Text(std::size_t size) {
    std::string text;
    for (std::size_t i = 0; i < size; ++i) {
        text.push_back(static_cast<char>('a' + i % 26));
    }
    return text;
}

void ExpectReleased(CACR120Mifare& card) {
    EXPECT_FALSE(card.IsCardConnected());
    const bool free = card.GetReaderLock().try_lock();
    EXPECT_TRUE(free) << "the reader lock is still held";
    if (free) {
        card.GetReaderLock().unlock();
    }
}

class RecordingPoster final : public IMessagePoster {
public:
    void Post(std::uint32_t, std::uintptr_t wParam) override { last_ = wParam; }
    // Waits for the monitor to post `wParam` as its latest message.
    bool Reaches(std::uintptr_t wParam) const {
        for (int i = 0; i < 500 && last_ != wParam; ++i) {
            std::this_thread::sleep_for(10ms);
        }
        return last_ == wParam;
    }

private:
    std::atomic<std::uintptr_t> last_{~std::uintptr_t{0}};
};

// CI installs and starts everything; there a skip would hide a failure.
void SkipOutsideCi(const std::string& reason) {
    const char* ci = std::getenv("CI");
    if (ci != nullptr && std::string(ci) == "true") {
        FAIL() << reason;
    }
    GTEST_SKIP() << reason;
}

class PcscStack : public testing::TestWithParam<CardKind> {
protected:
    void SetUp() override {
        if (gNoDaemon) {
            SkipOutsideCi("pcscd with the vpcd reader: " + *gNoDaemon);
            return;
        }
        platform::SetAnsiCodePageOverride(1252);
        field_.AddReader("USB3");
    }
    void TearDown() override {
        platform::SetAnsiCodePageOverride(std::nullopt);
        if (vpcd_.InField()) {
            vpcd_.TakeAway();
            PcscDaemon::WaitForCard(false);
        }
    }

    void Place(const Bytes& image) {
        vpcd_.Place(image);
        ASSERT_TRUE(PcscDaemon::WaitForCard(true));
    }
    void TakeAway() {
        vpcd_.TakeAway();
        ASSERT_TRUE(PcscDaemon::WaitForCard(false));
    }
    CardKind Kind() const { return GetParam(); }
    std::size_t Capacity() const { return cardtest::DataAreaSize(Kind()) - 2; }

    vreader::ScopedVirtualField field_{vreader::PcscReaders::kServed};
    vpcd::VpcdCard vpcd_;
    RecordingPoster window_;  // outlives the connection, whose monitor posts to it
    CACR120Mifare card_{
        &CMonThread::Create};  // the libraries beside the test, as beside the program
};

// What a user does with a card: Load, Save the fullest text, Change !, Load and
// Save with the new key.
std::vector<std::string> UseTheCard(CACR120Mifare& card, std::size_t capacity) {
    std::vector<std::string> loaded;
    loaded.push_back(ReadNotice(card, u"").storedText);
    WriteNotice(card, u"", platform::FromAnsi(Text(capacity)));
    loaded.push_back(ReadNotice(card, u"").storedText);
    ChangeAccessKey(
        card, [] { return std::u16string(u""); }, u"n3w");
    loaded.push_back(ReadNotice(card, u"n3w").storedText);
    WriteNotice(card, u"n3w", u"after the change");
    loaded.push_back(ReadNotice(card, u"n3w").storedText);
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

    cardtest::ExpectReaderError([&] { ReadNotice(card_, u"wrong"); }, acr120::rc::kLoginFailed);
    vpcd_.TakeAwayAfterWrites(2);
    cardtest::ExpectReaderError(
        [&] { WriteNotice(card_, u"", u"a text of forty bytes or so, 3 blocks"); },
        acr120::rc::kNoCard);
    ExpectReleased(card_);
    ASSERT_TRUE(PcscDaemon::WaitForCard(false));
    cardtest::ExpectReaderError([&] { ReadNotice(card_, u""); }, acr120::rc::kNoCard);

    // Put back as it was left: two blocks written, the rest as before.
    const Bytes left = vpcd_.Image();
    EXPECT_NE(left, image);
    Place(left);
    WriteNotice(card_, u"", u"again");
    EXPECT_EQ(ReadNotice(card_, u"").storedText, "again");
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

// The daemon stopped under an open reader, and started again.
using PcscService = PcscStack;

TEST_F(PcscService, StoppedDaemonGivesClearCodesNoHangAndTheReaderComesBack) {
    if (!gDaemon.StartedHere()) {
        SkipOutsideCi("the running pcscd is not ours to stop");
        return;
    }
    Place(cardtest::CardWithNotice(CardKind::kClassic4K, "kept"));
    card_.SetReaderName(kPcscReader);
    card_.Connect();
    card_.StartMonitor(&window_, kMonitorMessage);
    ASSERT_TRUE(window_.Reaches(2u << 16 | 1u));

    // The daemon goes while the Save waits for the answer to its third write.
    std::promise<void> stopped;
    vpcd_.BeforeAnswerToWrite(3, [&] {
        gDaemon.Stop();
        stopped.set_value();
    });
    try {
        WriteNotice(card_, u"", platform::FromAnsi(Text(3000)));
        ADD_FAILURE() << "the Save went through a stopped daemon";
    } catch (const CACR120Exception& error) {
        EXPECT_TRUE(error.GetReturnCode() == acr120::rc::kInvalidPort ||
                    error.GetReturnCode() == acr120::rc::kNoCard)
            << error.GetReturnCode();
    }
    ASSERT_EQ(stopped.get_future().wait_for(30s), std::future_status::ready);
    ExpectReleased(card_);
    // No service: the monitor's listing finds no card, a new connection no port.
    EXPECT_TRUE(window_.Reaches(0));
    cardtest::ExpectReaderError([&] { ReadNotice(card_, u""); }, acr120::rc::kNoCard);
    CACR120Mifare other(&CMonThread::Create);
    other.SetReaderName(kPcscReader);
    cardtest::ExpectReaderError([&] { other.Connect(); }, acr120::rc::kInvalidPort);

    gNoDaemon = gDaemon.Start();
    ASSERT_FALSE(gNoDaemon) << *gNoDaemon;
    ASSERT_TRUE(PcscDaemon::WaitForCard(true));
    EXPECT_TRUE(window_.Reaches(2u << 16 | 1u));
    WriteNotice(card_, u"", u"back");
    EXPECT_EQ(ReadNotice(card_, u"").storedText, "back");
}

// The library's own answers about ports: the virtual readers by their folders,
// the PC/SC readers after them, each call to the engine of its port.
TEST_F(PcscService, ListsVirtualThenPcscPortsAndEachHandleReachesItsOwnReader) {
    const auto file = platform::ProgramModule().file.parent_path() / "libacr120u.so";
    platform::LibraryHandle library = platform::LoadLibraryFile(file);
    ASSERT_NE(library, nullptr);
    const auto find = [&](const char* name) { return platform::FindProc(library, name); };
    const auto listPorts = reinterpret_cast<acr120::ListPorts>(find(acr120::kListPortsName));
    const auto open = reinterpret_cast<acr120::usb::Open>(find("ACR120_Open"));
    const auto close = reinterpret_cast<acr120::usb::Close>(find("ACR120_Close"));
    const auto listTags = reinterpret_cast<acr120::usb::ListTags>(find("ACR120_ListTags"));
    ASSERT_TRUE(listPorts && open && close && listTags);

    const auto readers = PcscDaemon::ReaderCount();
    ASSERT_GE(readers, 1u);
    std::vector<std::uint8_t> expected{0, 2};
    for (std::size_t i = 0; i < readers && kPcscPort + i < 8; ++i) {
        expected.push_back(static_cast<std::uint8_t>(kPcscPort + i));
    }
    std::vector<std::uint8_t> ports(8, 0xEE);
    ports.resize(static_cast<std::size_t>(listPorts(ports.data(), 8)));
    EXPECT_EQ(ports, expected);
    ::setenv("TAGQUILL_PCSC", "off", 1);
    EXPECT_EQ(listPorts(nullptr, 0), 2) << "PC/SC readers left out";
    EXPECT_EQ(open(kPcscPort), acr120::rc::kInvalidPort);
    ::unsetenv("TAGQUILL_PCSC");

    // A card in each reader, told apart by its serial number.
    Place(cardtest::PatternedCard(CardKind::kClassic1K));
    field_.NewCard("USB3", CardKind::kClassic1K, Bytes{0x0A, 0x0B, 0x0C, 0x0D});
    const std::int16_t pcsc = open(kPcscPort);
    const std::int16_t usb3 = open(2);
    ASSERT_GE(pcsc, 0);
    ASSERT_GE(usb3, 0);
    EXPECT_EQ(open(kPcscPort), acr120::rc::kPortOccupied);
    EXPECT_EQ(open(1), acr120::rc::kInvalidPort);
    const auto firstSerial = [&](std::int16_t handle) {
        std::uint8_t count = 0;
        std::uint8_t types[16]{};
        std::uint8_t lengths[4]{};
        std::uint8_t serials[40]{};
        EXPECT_EQ(listTags(handle, &count, types, lengths, serials), acr120::rc::kOk);
        return count == 0 ? Bytes{} : Bytes(serials, serials + lengths[0]);
    };
    EXPECT_EQ(firstSerial(usb3), (Bytes{0x0A, 0x0B, 0x0C, 0x0D}));
    const Bytes image = vpcd_.Image();
    EXPECT_EQ(firstSerial(pcsc), Bytes(image.begin(), image.begin() + 4));
    EXPECT_EQ(close(pcsc), acr120::rc::kOk);
    EXPECT_EQ(close(pcsc), acr120::rc::kInvalidHandle);
    EXPECT_EQ(close(usb3), acr120::rc::kOk);
    platform::FreeLibraryFile(library);
}

}  // namespace
}  // namespace pcsctest
