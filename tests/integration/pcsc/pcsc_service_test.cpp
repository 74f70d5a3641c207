// The USB library's own answers over a PC/SC reader, with the program's stack
// (pcsc_stack_fixture.h) where it takes part: the daemon stopped under an open
// reader and started again, the ports it lists and the reader each handle reaches,
// what a hold proved and when it is dropped, a card halted by a refused login, and
// memory running out inside a call.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <future>
#include <new>
#include <vector>

#include "card/notice_file.h"
#include "card_test_support.h"
#include "pcsc_stack_fixture.h"
#include "platform/code_page.h"
#include "platform/library.h"
#include "reader/acr120_api.h"
#include "reader/reader_error.h"

// Allocations on a thread that sets this fail, also inside the reader library,
// whose operator new is this program's.
thread_local bool tFailAllocations = false;

void* operator new(std::size_t size) {
    void* memory = tFailAllocations ? nullptr : std::malloc(size == 0 ? 1 : size);
    if (memory == nullptr) {
        throw std::bad_alloc();
    }
    return memory;
}
void operator delete(void* memory) noexcept {
    std::free(memory);
}
void operator delete(void* memory, std::size_t) noexcept {
    std::free(memory);
}

namespace pcsctest {
namespace {

// The daemon stopped under an open reader, and started again; and the library
// called as the program calls it.
class PcscService : public StackTest<> {};

TEST_F(PcscService, StoppedDaemonGivesClearCodesNoHangAndTheReaderComesBack) {
    if (!Daemon().StartedHere()) {
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
        Daemon().Stop();
        stopped.set_value();
    });
    try {
        notice::WriteNotice(card_, u"", platform::FromAnsi(Text(3000)));
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
    cardtest::ExpectReaderError([&] { notice::ReadNotice(card_, u""); }, acr120::rc::kNoCard);
    CACR120Mifare other(&CMonThread::Create);
    other.SetReaderName(kPcscReader);
    cardtest::ExpectReaderError([&] { other.Connect(); }, acr120::rc::kInvalidPort);

    const auto& noDaemon = RestartDaemon();
    ASSERT_FALSE(noDaemon) << *noDaemon;
    ASSERT_TRUE(PcscDaemon::WaitForCard(true));
    EXPECT_TRUE(window_.Reaches(2u << 16 | 1u));
    notice::WriteNotice(card_, u"", u"back");
    EXPECT_EQ(notice::ReadNotice(card_, u"").storedText, "back");
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

// The USB library's calls, loaded as the program loads them.
class UsbLibrary {
    // First: the calls below are found in it as they are made.
    platform::LibraryHandle library_ =
        platform::LoadLibraryFile(platform::ProgramModule().file.parent_path() / "libacr120u.so");

public:
    UsbLibrary() = default;
    ~UsbLibrary() { platform::FreeLibraryFile(library_); }
    UsbLibrary(const UsbLibrary&) = delete;
    UsbLibrary& operator=(const UsbLibrary&) = delete;

    template <typename Function>
    Function Find(const char* name) const {
        return reinterpret_cast<Function>(platform::FindProc(library_, name));
    }
    bool Loaded() const { return library_ != nullptr; }

    // The UID of the one card the reader lists; empty for none.
    Bytes ListedUid(std::int16_t handle, std::int16_t* result = nullptr) const {
        std::uint8_t count = 0;
        std::uint8_t types[16]{};
        std::uint8_t lengths[4]{};
        std::uint8_t serials[40]{};
        const std::int16_t code = listTags(handle, &count, types, lengths, serials);
        if (result != nullptr) {
            *result = code;
        }
        return count == 0 ? Bytes{} : Bytes(serials, serials + lengths[0]);
    }
    std::int16_t SelectUid(std::int16_t handle, Bytes uid) const {
        uid.resize(10);
        std::uint8_t type = 0;
        std::uint8_t length = 0;
        std::uint8_t serial[10]{};
        return multiTagSelect(handle, 4, uid.data(), &type, &length, serial);
    }
    std::int16_t LoginWith(std::int16_t handle, std::uint8_t sector, Bytes key) const {
        return login(handle, sector, acr120::usb_key_mode::kKeyA, 0, key.data());
    }

    const acr120::ListPorts listPorts = Find<acr120::ListPorts>(acr120::kListPortsName);
    const acr120::usb::Open open = Find<acr120::usb::Open>("ACR120_Open");
    const acr120::usb::Close close = Find<acr120::usb::Close>("ACR120_Close");
    const acr120::usb::ListTags listTags = Find<acr120::usb::ListTags>("ACR120_ListTags");
    const acr120::usb::MultiTagSelect multiTagSelect =
        Find<acr120::usb::MultiTagSelect>("ACR120_MultiTagSelect");
    const acr120::usb::Login login = Find<acr120::usb::Login>("ACR120_Login");
    const acr120::usb::Read read = Find<acr120::usb::Read>("ACR120_Read");
    const acr120::usb::Write write = Find<acr120::usb::Write>("ACR120_Write");
};

// What a hold proved stands only while it is provably the same hold on the same
// card: a key other than the loaded one is loaded, a card put down in place of
// the held one is not taken for it, and after a reset by another program the
// library reports no card and starts afresh (the card forgets a loaded key).
TEST_F(PcscService, WhatAHoldProvedIsDroppedOnAnotherKeyAnotherCardAndAReset) {
    const UsbLibrary usb;
    ASSERT_TRUE(usb.Loaded());
    const Bytes first{0x01, 0x02, 0x03, 0x04};
    const Bytes second{0x05, 0x06, 0x07, 0x08};
    const Bytes factoryKey(cardtest::kTransportKey.begin(), cardtest::kTransportKey.end());
    Place(vreader::MakeBlankCard(CardKind::kClassic1K, first));
    const std::int16_t handle = usb.open(kPcscPort);
    ASSERT_GE(handle, 0);
    namespace rc = acr120::rc;

    EXPECT_EQ(usb.ListedUid(handle), first);
    EXPECT_EQ(usb.SelectUid(handle, first), rc::kOk);
    EXPECT_EQ(usb.LoginWith(handle, 1, factoryKey), rc::kOk);
    EXPECT_EQ(usb.LoginWith(handle, 2, Bytes{'w', 'r', 'o', 'n', 'g', '!'}), rc::kLoginFailed);
    EXPECT_EQ(usb.LoginWith(handle, 2, factoryKey), rc::kOk);
    std::uint8_t block[16]{};
    EXPECT_EQ(usb.read(handle, 8, block), rc::kOk);
    EXPECT_EQ(usb.SelectUid(handle, first), rc::kOk);  // the hold knows the card again

    // Another card in place of the held one, told by its UID only.
    TakeAway();
    const Bytes replacement = vreader::MakeBlankCard(CardKind::kClassic1K, second);
    Place(replacement);
    EXPECT_EQ(usb.SelectUid(handle, first), rc::kNoCard);
    std::uint8_t junk[16];
    std::fill_n(junk, 16, std::uint8_t{0xEE});
    EXPECT_NE(usb.write(handle, 8, junk), rc::kOk);
    EXPECT_EQ(vpcd_.Image(), replacement);
    EXPECT_EQ(usb.SelectUid(handle, second), rc::kOk);
    EXPECT_EQ(usb.LoginWith(handle, 2, factoryKey), rc::kOk);

    // Reset by another program between two holds.
    EXPECT_EQ(usb.ListedUid(handle), second);
    OtherProgram other;
    ASSERT_TRUE(other.Connected());
    ASSERT_TRUE(other.ResetCard());
    EXPECT_EQ(usb.read(handle, 8, block), rc::kNoCard);
    EXPECT_EQ(usb.SelectUid(handle, second), rc::kOk);
    EXPECT_EQ(usb.LoginWith(handle, 2, factoryKey), rc::kOk);
    EXPECT_EQ(usb.read(handle, 8, block), rc::kOk);
    EXPECT_EQ(usb.close(handle), rc::kOk);
}

// The card halts at a refused login as a real one does (it takes not even the
// right key until it is reset). The library wakes it with a reset of its own
// connection before the next command, under the same hold: another program's
// command waits until the hold ends. A card put down in place of the halted one
// is not taken for it, and a card left halted is woken before the library lets it
// go, so the next program finds a card that answers.
TEST_F(PcscService, ARefusedLoginHaltsTheCardAndTheLibraryWakesItWithinTheHold) {
    namespace rc = acr120::rc;
    const Bytes first{0x01, 0x02, 0x03, 0x04};
    const Bytes factoryKey(cardtest::kTransportKey.begin(), cardtest::kTransportKey.end());
    const Bytes wrongKey{'w', 'r', 'o', 'n', 'g', '!'};
    Place(vreader::MakeBlankCard(CardKind::kClassic1K, first));
    {
        OtherProgram other;
        ASSERT_TRUE(other.Connected());
        EXPECT_EQ(other.Login(4, wrongKey.data()), 0x6300);
        EXPECT_EQ(other.Login(4, factoryKey.data()), 0x6300) << "a forgiving card";
        EXPECT_EQ(other.Send(pcsc::ReadBinaryCommand(4)), 0x6300);
        ASSERT_TRUE(other.ResetCard());
    }
    const UsbLibrary usb;
    ASSERT_TRUE(usb.Loaded());
    const std::int16_t handle = usb.open(kPcscPort);
    ASSERT_GE(handle, 0);
    EXPECT_EQ(usb.ListedUid(handle), first);
    OtherProgram other;  // connected before our hold: pcscd holds back a connection too
    ASSERT_TRUE(other.Connected());
    EXPECT_EQ(usb.SelectUid(handle, first), rc::kOk);
    EXPECT_EQ(usb.LoginWith(handle, 1, wrongKey), rc::kLoginFailed);
    auto intruding =
        std::async(std::launch::async, [&] { return other.Login(4, factoryKey.data()); });
    EXPECT_EQ(usb.LoginWith(handle, 1, factoryKey), rc::kOk);
    std::uint8_t block[16]{};
    EXPECT_EQ(usb.read(handle, 4, block), rc::kOk);
    EXPECT_EQ(usb.LoginWith(handle, 2, wrongKey), rc::kLoginFailed);
    EXPECT_EQ(intruding.wait_for(200ms), std::future_status::timeout)
        << "another program's command came between ours";

    // Left halted by the listing that ends the hold: woken first.
    EXPECT_EQ(usb.ListedUid(handle), first);
    intruding.get();  // its connection saw our reset: its first command may fail
    {
        OtherProgram next;
        ASSERT_TRUE(next.Connected());
        EXPECT_EQ(next.Login(4, factoryKey.data()), 0x9000) << "the card was left halted";
    }

    // Halted, then replaced: the card that answers the reset is not the halted one.
    EXPECT_EQ(usb.SelectUid(handle, first), rc::kOk);
    EXPECT_EQ(usb.LoginWith(handle, 1, wrongKey), rc::kLoginFailed);
    TakeAway();
    const Bytes second{0x05, 0x06, 0x07, 0x08};
    Place(vreader::MakeBlankCard(CardKind::kClassic1K, second));
    EXPECT_EQ(usb.LoginWith(handle, 1, factoryKey), rc::kNoCard);
    EXPECT_EQ(usb.SelectUid(handle, second), rc::kOk);
    EXPECT_EQ(usb.LoginWith(handle, 1, factoryKey), rc::kOk);
    EXPECT_EQ(usb.close(handle), rc::kOk);
}

// A response buffer that cannot be had, inside a call on a PC/SC reader, is the
// library's internal error, not an exception in the program.
TEST_F(PcscService, MemoryRunningOutInsideACallIsAnInternalError) {
    const UsbLibrary usb;
    ASSERT_TRUE(usb.Loaded());
    Place(cardtest::PatternedCard(CardKind::kClassic1K));
    const std::int16_t handle = usb.open(kPcscPort);
    ASSERT_GE(handle, 0);
    std::int16_t listed = 0;
    std::int16_t read = 0;
    std::uint8_t block[16]{};
    tFailAllocations = true;
    try {
        usb.ListedUid(handle, &listed);
        read = usb.read(handle, 4, block);
    } catch (...) {
        tFailAllocations = false;
        ADD_FAILURE() << "an exception left the library";
    }
    tFailAllocations = false;
    EXPECT_EQ(listed, acr120::rc::kInternalError);
    EXPECT_EQ(read, acr120::rc::kInternalError);
    EXPECT_FALSE(usb.ListedUid(handle).empty());
    EXPECT_EQ(usb.close(handle), acr120::rc::kOk);
}

}  // namespace
}  // namespace pcsctest
