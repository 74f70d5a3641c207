// The reader connection over both virtual reader libraries: names and port
// kinds, opening and closing, the serial reader's set-up, the key cache and
// the reader's key store, and the order of destruction.

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <gmock/gmock.h>

#include "connection_support.h"
#include "core/files.h"
#include "errors/system_exception.h"
#include "platform/code_page.h"
#include "platform/last_error.h"
#include "platform/library.h"

namespace fs = std::filesystem;

namespace {

class Connection : public testing::Test {
protected:
    vreader::ScopedVirtualField field_;
    ProbeConnection connection_;
};

TEST_F(Connection, NameDecidesPortKindAndPortNumber) {
    EXPECT_EQ(ErrorOf([&] { connection_.Connect(); }), kErrReaderNameNotSet);
    struct Case {
        const char16_t* name;
        PortKind kind;
    };
    for (const Case& c : {Case{u"com3", PortKind::Serial}, Case{u"Usb1", PortKind::Usb},
                          Case{u"COM8", PortKind::Serial}, Case{u"COM9", PortKind::None},
                          Case{u"COM10", PortKind::None}, Case{u"USB0", PortKind::None},
                          Case{u"USB", PortKind::None}, Case{u"LPT1", PortKind::None},
                          Case{u"CÖM1", PortKind::None}}) {
        SCOPED_TRACE(platform::Utf16ToUtf8(c.name));
        connection_.SetReaderName(c.name);
        EXPECT_EQ(connection_.GetPortKind(), c.kind);
        EXPECT_EQ(connection_.ReaderName(), c.name);
        if (c.kind == PortKind::None) {
            EXPECT_EQ(ErrorOf([&] { connection_.Connect(); }), kErrReaderTypeNotSupported);
        }
    }
    // Unusable names fail before any library call.
    EXPECT_TRUE(field_.CallLog("COM1").empty());
    EXPECT_TRUE(field_.CallLog("USB1").empty());
    connection_.SetReaderName(nullptr);
    EXPECT_EQ(connection_.ReaderName(), u"");

    // The fourth character picks the port.
    field_.AddReader("COM3");
    field_.AddReader("USB2");
    connection_.Open(u"com3");
    connection_.Disconnect();
    connection_.Open(u"usb2");
    EXPECT_EQ(field_.CountCalls("COM1", "Open") + field_.CountCalls("USB1", "Open"), 0);

    // Renaming a connected reader is refused and changes nothing.
    EXPECT_EQ(ErrorOf([&] { connection_.SetReaderName(u"COM1"); }), kErrReaderConnected);
    EXPECT_EQ(connection_.ReaderName(), u"usb2");
    EXPECT_EQ(connection_.GetPortKind(), PortKind::Usb);
}

TEST_F(Connection, SerialReaderInModeRegister0x42IsSwitchedTo0x46Only) {
    struct Case {
        std::uint8_t before;
        const char* failing;  // a call of the set-up that fails, if any
        std::uint8_t after;
        int writes;
    };
    for (const Case& c : {Case{0x42, nullptr, 0x46, 1}, Case{0x46, nullptr, 0x46, 0},
                          Case{0x00, nullptr, 0x00, 0}, Case{0x43, nullptr, 0x43, 0},
                          Case{0x42, "ReadEEPROM", 0x42, 0}, Case{0x42, "WriteEEPROM", 0x42, 1}}) {
        SCOPED_TRACE(testing::Message() << int{c.before} << (c.failing ? c.failing : ""));
        field_.SetEeprom("COM1", 5, c.before);
        field_.ClearCallLog("COM1");
        if (c.failing != nullptr) {
            field_.FailCall("COM1", c.failing, 1, acr120::rc::kOperationFailed);
        }
        connection_.Open(u"COM1");  // whatever the outcome, the connection stands
        EXPECT_EQ(field_.Eeprom("COM1", 5), c.after);
        EXPECT_EQ(field_.CountCalls("COM1", "WriteEEPROM"), c.writes);
        connection_.Disconnect();
        field_.ClearFaults("COM1");
    }
    // A USB reader is only opened.
    connection_.Open(u"USB1");
    EXPECT_EQ(field_.CallLog("USB1").size(), 1u);
}

TEST_F(Connection, SerialStationIsLearntAndAMissingStationClosesTheHandle) {
    field_.SetStation("COM1", 7);
    connection_.Open(u"COM1");
    EXPECT_EQ(connection_.Station(), 7);
    connection_.Disconnect();

    field_.SetStationCountZero("COM1");
    EXPECT_EQ(ErrorOf([&] { connection_.Connect(); }), acr120::rc::kInternalError);
    EXPECT_FALSE(connection_.IsConnected());
    EXPECT_EQ(field_.CountCalls("COM1", "Close"), 2);
}

TEST_F(Connection, AMissingLibraryFailsConstructionWithCode6) {
    const fs::path bin = platform::ProgramModule().file.parent_path();
    const fs::path folder = field_.Dir() / "program";
    fs::create_directories(folder);
    const platform::ModuleRef module{folder / "tagquill"};
    // The serial library is looked for first, and either alone is not enough.
    EXPECT_EQ(ErrorOf([&] { CACR120Base connection(module, &CMonThread::Create); }),
              kErrLibraryMissing);
    const std::string serial = platform::SharedLibraryFileName("acr120");
    const std::string usb = platform::SharedLibraryFileName("acr120u");
    fs::copy_file(bin / serial, folder / serial);
    EXPECT_EQ(ErrorOf([&] { CACR120Base connection(module, &CMonThread::Create); }),
              kErrLibraryMissing);

    // A program that opens one reader needs that reader's library alone.
    {
        CACR120Base oneReader(module, &CMonThread::Create, LibraryLoading::kOnConnect);
        oneReader.SetReaderName(u"COM1");
        oneReader.Connect();
        EXPECT_TRUE(oneReader.IsConnected());
        oneReader.Disconnect();
        oneReader.SetReaderName(u"USB1");
        EXPECT_EQ(ErrorOf([&] { oneReader.Connect(); }), kErrLibraryMissing);
        EXPECT_FALSE(oneReader.IsConnected());
    }

    fs::copy_file(bin / usb, folder / usb);
    CACR120Base connection(module, &CMonThread::Create);
}

TEST_F(Connection, TheEnvironmentNamesTheTraceFile) {
    const fs::path trace = field_.Dir() / "trace.log";
    vreader::files::SetEnvironment("TAGQUILL_TRACE", trace.string());
    {
        ProbeConnection connection;
        vreader::files::SetEnvironment("TAGQUILL_TRACE",
                                       std::nullopt);  // read once, at construction
        connection.Open(u"COM1");
    }
    std::stringstream text;
    text << std::ifstream(trace).rdbuf();
    EXPECT_THAT(text.str(), testing::HasSubstr("] ACR120_Open(0,0) = "));
    EXPECT_TRUE(connection_.SerialLibrary().traceFileName.empty());
}

// A trace with each argument that is an address, all its digits there, shown as "@".
std::string WithAddressesAsAt(std::string text) {
    const std::size_t digits = 2 * sizeof(void*);
    for (std::size_t at = 0; at < text.size(); ++at) {
        if (text[at] != '(' && text[at] != ',') {
            continue;
        }
        const std::size_t end = text.find_first_not_of("0123456789ABCDEF", at + 1);
        if (end == at + 1 + digits && (text[end] == ')' || text[end] == ',')) {
            text.replace(at + 1, digits, "@");
        }
    }
    return text;
}

// Every call of a session through the serial port, as the trace file gets it: outputs
// as the library left them, serial numbers in hex, keys as their addresses alone.
// The buffers' addresses are the port's own; each prints as one with every digit.
TEST_F(Connection, TheSerialPortTracesEveryCallWithItsArgumentsAfterTheCall) {
    const fs::path trace = field_.Dir() / "trace.log";
    std::ofstream(trace, std::ios::binary) << "earlier session\r\n";
    connection_.SerialLibrary().traceFileName = trace.u16string();
    reader_trace::SetStampSource([]() -> reader_trace::Stamp { return {{9, 5, 7}, 1234}; });
    field_.SetStation("COM1", 7);
    field_.NewCard("COM1", vreader::CardKind::kClassic1K, vreader::Bytes{0xDE, 0xAD, 0xBE, 0xEF});
    connection_.Open(u"COM1");
    connection_.ConnectCard();
    MifareKey key{0xA1, 0xB2, 0xC3, 0xD4, 0xE5, 0xF6};
    IReaderPort& port = *connection_.Port();
    EXPECT_EQ(port.StoreReaderKey(31, key.data()), 0);
    key.fill(0xFF);
    EXPECT_EQ(port.Login(1, false, 0, key.data()), 0);
    EXPECT_EQ(port.Login(1, false, 2, nullptr), 0);
    field_.FailCall("COM1", "ListTag", 1, -3030);
    EXPECT_EQ(ErrorOf([&] { connection_.ConnectCard(); }), -3030);
    connection_.Disconnect();
    reader_trace::SetStampSource(nullptr);

    std::stringstream bytes;
    bytes << std::ifstream(trace, std::ios::binary).rdbuf();
    const std::string text = WithAddressesAsAt(bytes.str());
    const std::string serial = "DEADBEEF000000000000";
    std::string expected = "earlier session\r\n";
    for (const std::string& call : {
             std::string("Open(0,0) = 0"),
             std::string("GetID(0,*(@)=1,*(@)=7) = 0"),
             std::string("ReadEEPROM(0,7,5,*(@)=66) = 0"),
             std::string("WriteEEPROM(0,7,5,70) = 0"),
             "ListTag(0,7,*(@)=1,*(@)=1,*(@)=2,*(@)=" + serial + ") = 0",
             "MultiTagSelect(0,7,*(@)=" + serial + ",*(@)=1,*(@)=2,*(@)=" + serial + ") = 0",
             std::string("WriteMasterKey(0,7,31,@) = 0"),
             std::string("Login(0,7,1,0,0,@) = 0"),
             std::string("Login(0,7,1,3,2,@) = 0"),
             "ListTag(0,7,*(@)=0,*(@)=0,*(@)=0,*(@)=" + std::string(20, '0') + ") = -3030",
             std::string("Close(0) = 0"),
         }) {
        expected += "[09:05:07][tid=1234] ACR120_" + call + "\r\n";
    }
    EXPECT_EQ(text, expected);
}

class ConnectionOverBothLibraries : public OverBothLibraries {};

TEST_P(ConnectionOverBothLibraries, ConnectAgainClosesTheOldHandleAndAFailedOpenLeavesItClosed) {
    Open();
    connection_.Connect();
    EXPECT_EQ(field_.CountCalls(Reader(), "Open"), 2);
    EXPECT_EQ(field_.CountCalls(Reader(), "Close"), 1);
    connection_.Disconnect();
    connection_.Disconnect();  // an idle connection touches no reader
    EXPECT_FALSE(connection_.IsConnected());
    EXPECT_EQ(field_.CountCalls(Reader(), "Close"), 2);
    EXPECT_EQ(ErrorOf([&] { connection_.StartMonitor(&poster_, kMonitorMessage); }),
              kErrReaderNotConnected);

    field_.FailCall(Reader(), "Open", 1, acr120::rc::kPortOccupied);
    EXPECT_EQ(ErrorOf([&] { connection_.Connect(); }), acr120::rc::kPortOccupied);
    EXPECT_FALSE(connection_.IsConnected());
    connection_.Connect();
    EXPECT_TRUE(connection_.IsConnected());
}

TEST_P(ConnectionOverBothLibraries, KeysGoToTheCacheOrTheReaderAfterConnect) {
    const MifareKey key{1, 2, 3, 4, 5, 6};
    for (bool toReader : {false, true}) {
        EXPECT_EQ(ErrorOf([&] { connection_.StoreKey(toReader, kKeyTypeA, 0, key.data()); }),
                  kErrReaderNotConnected);
    }
    Open();
    EXPECT_EQ(ErrorOf([&] { connection_.StoreKey(false, 0x62, 0, key.data()); }),
              kErrInvalidParameter);
    EXPECT_EQ(ErrorOf([&] { connection_.StoreKey(true, kKeyTypeB, 16, key.data()); }),
              kErrInvalidParameter);

    connection_.StoreKey(false, kKeyTypeB, 15, key.data());
    connection_.StoreKey(false, kKeyTypeA, 3, key.data());
    EXPECT_EQ(connection_.CachedKey(31), key);
    EXPECT_EQ(connection_.CachedKey(6), key);
    EXPECT_EQ(field_.CountCalls(Reader(), "WriteMasterKey"), 0);

    connection_.StoreKey(true, kKeyTypeB, 2, key.data());
    EXPECT_EQ(field_.StoredKey(Reader(), 5), key);

    field_.FailCall(Reader(), "WriteMasterKey", 1, acr120::rc::kInvalidStoredKey);
    EXPECT_EQ(ErrorOf([&] { connection_.StoreKey(true, kKeyTypeA, 0, key.data()); }),
              acr120::rc::kInvalidStoredKey);
    EXPECT_TRUE(connection_.ReaderLockIsFree());
}

TEST_P(ConnectionOverBothLibraries, DestroyingAConnectedObjectStopsTheMonitorAndClosesTheReader) {
    field_.NewCard(Reader(), vreader::CardKind::kClassic1K);
    {
        ProbeConnection connection;
        connection.Open(GetParam().name);
        connection.StartMonitor(&poster_, kMonitorMessage);
        ASSERT_TRUE(poster_.WaitFor(1));
    }
    EXPECT_EQ(field_.CountCalls(Reader(), "Close"), 1);
    const int listings = Listings();
    field_.RemoveCard(Reader());
    std::this_thread::sleep_for(700ms);
    EXPECT_EQ(Listings(), listings);
    EXPECT_EQ(poster_.Received().size(), 1u);
}

TEST_P(ConnectionOverBothLibraries, AMonitorThatCannotStartFailsAndClosesTheReader) {
    struct UnstartableMonitor final : CMonThread {
        using CMonThread::CMonThread;
        bool CreateThreadImpl(std::uint32_t, std::uint32_t) override {
            platform::SetLastErrorValue(platform::kErrorNotEnoughMemory);
            return false;
        }
    };
    ProbeConnection connection([](CACR120Base& reader) -> std::unique_ptr<IPresenceMonitor> {
        return std::make_unique<UnstartableMonitor>(reader);
    });
    connection.Open(GetParam().name);
    try {
        connection.StartMonitor(&poster_, kMonitorMessage);
        ADD_FAILURE() << "a connection without its monitor was reported as working";
    } catch (const CSystemException& error) {
        EXPECT_EQ(static_cast<std::uint32_t>(error.GetErrorCode()), 0x80070008u);
        EXPECT_EQ(error.GetSource(), u"ACR120Base");
    }
    EXPECT_FALSE(connection.IsConnected());
    EXPECT_EQ(field_.CountCalls(Reader(), "Close"), 1);
}

// POSIX only: a Windows thread ends by force wherever it is.
#ifndef _WIN32
std::atomic<bool> gDeafRelease{false}, gDeafHolding{false};

// Holds the reader lock and spins where no forced end reaches it.
struct DeafMonitor final : CMonThread {
    explicit DeafMonitor(CACR120Base& reader) : CMonThread(reader), reader(reader) {}
    std::uint32_t Run() override {
        ReaderLockHolder hold(reader.GetReaderLock());
        gDeafHolding = true;
        while (!gDeafRelease) {
            std::this_thread::yield();
        }
        gDeafHolding = false;
        return 0;
    }
    CACR120Base& reader;
};

TEST_P(ConnectionOverBothLibraries, AMonitorThatCannotBeEndedIsLeftRunningWithWhatItUses) {
    gDeafRelease = false;
    {
        ProbeConnection connection([](CACR120Base& reader) -> std::unique_ptr<IPresenceMonitor> {
            return std::make_unique<DeafMonitor>(reader);
        });
        connection.SetMonitorStopTimeout(0);
        connection.Open(GetParam().name);
        connection.StartMonitor(&poster_, kMonitorMessage);
        ASSERT_TRUE(Eventually([] { return gDeafHolding.load(); }));
        connection.Disconnect();  // used to wait for ever
        EXPECT_FALSE(connection.IsConnected());
        EXPECT_TRUE(connection.ReaderLockIsFree());
        EXPECT_TRUE(CACR120Base::AnyMonitorLeftRunning());
    }
    // Destroyed, but the thread's lock, monitor and libraries are still there.
    for (const std::string& file : {CACR120Dll::FileName(), CACR120UDll::FileName()}) {
        EXPECT_TRUE(platform::IsLibraryFileLoaded(
            platform::LibraryPathBeside(platform::ProgramModule(), file)));
    }
    gDeafRelease = true;
    EXPECT_TRUE(Eventually([] { return !gDeafHolding; }));
}
#endif

INSTANTIATE_TEST_SUITE_P(BothLibraries, ConnectionOverBothLibraries, testing::Values(kSerial, kUsb),
                         PrintVariant);

}  // namespace
