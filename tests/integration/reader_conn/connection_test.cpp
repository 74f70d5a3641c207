// The reader connection over both virtual reader libraries: names and port
// kinds, opening and closing, the serial reader's set-up, the key cache and
// the reader's key store, and the order of destruction.

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "connection_support.h"
#include "platform/code_page.h"
#include "platform/library.h"

namespace fs = std::filesystem;

namespace {

class Connection : public testing::Test {
protected:
    vreader::ScopedVirtualField field_;
    ProbeConnection connection_;
};

TEST_F(Connection, NameDecidesPortKindAndPortNumber) {
    struct Case {
        const char16_t* name;
        PortKind kind;
    };
    for (const Case& c : {Case{u"com3", PortKind::Serial}, Case{u"Usb1", PortKind::Usb},
                          Case{u"COM8", PortKind::Serial}, Case{u"COM9", PortKind::None},
                          Case{u"COM10", PortKind::None}, Case{u"USB0", PortKind::None},
                          Case{u"USB", PortKind::None}, Case{u"LPT1", PortKind::None},
                          Case{u"CÖM1", PortKind::None}}) {
        connection_.SetReaderName(c.name);
        EXPECT_EQ(connection_.GetPortKind(), c.kind) << platform::Utf16ToUtf8(c.name);
        EXPECT_EQ(connection_.ReaderName(), c.name);
    }
    connection_.SetReaderName(nullptr);
    EXPECT_EQ(connection_.ReaderName(), u"");
    EXPECT_EQ(connection_.GetPortKind(), PortKind::None);

    // The fourth character picks the port: com3 is the third serial reader,
    // usb2 the second USB reader, and neither is there until it is plugged in.
    EXPECT_NE(ReaderErrorOf([&] { connection_.Open(u"com3"); }), 0);
    EXPECT_NE(ReaderErrorOf([&] { connection_.Open(u"usb2"); }), 0);
    field_.AddReader("COM3");
    field_.AddReader("USB2");
    connection_.Open(u"com3");
    EXPECT_TRUE(connection_.IsConnected());
    connection_.Disconnect();
    connection_.Open(u"usb2");
    EXPECT_TRUE(connection_.IsConnected());
    EXPECT_EQ(field_.CountCalls("COM1", "Open") + field_.CountCalls("USB1", "Open"), 0);

    // Renaming a connected reader is refused and changes nothing.
    EXPECT_EQ(CodedErrorOf([&] { connection_.SetReaderName(u"COM1"); }), kErrReaderConnected);
    EXPECT_EQ(connection_.ReaderName(), u"usb2");
    EXPECT_EQ(connection_.GetPortKind(), PortKind::Usb);
}

TEST_F(Connection, UnusableNamesFailBeforeAnyLibraryCall) {
    EXPECT_EQ(CodedErrorOf([&] { connection_.Connect(); }), kErrReaderNameNotSet);
    for (const char16_t* name : {u"COM9", u"COM10", u"USB0", u"USB", u"LPT1"}) {
        EXPECT_EQ(CodedErrorOf([&] { connection_.Open(name); }), kErrReaderTypeNotSupported);
        EXPECT_FALSE(connection_.IsConnected());
    }
    EXPECT_TRUE(field_.CallLog("COM1").empty());
    EXPECT_TRUE(field_.CallLog("USB1").empty());
}

class ConnectionVariant : public Connection, public testing::WithParamInterface<Variant> {};

TEST_P(ConnectionVariant, ConnectAgainClosesTheOldHandleFirst) {
    connection_.Open(GetParam().name);
    connection_.Connect();
    EXPECT_TRUE(connection_.IsConnected());
    EXPECT_EQ(field_.CountCalls(GetParam().reader, "Open"), 2);
    EXPECT_EQ(field_.CountCalls(GetParam().reader, "Close"), 1);
    connection_.Disconnect();
    EXPECT_FALSE(connection_.IsConnected());
    EXPECT_EQ(field_.CountCalls(GetParam().reader, "Close"), 2);
    // Disconnecting an idle connection touches no reader.
    connection_.Disconnect();
    EXPECT_EQ(field_.CountCalls(GetParam().reader, "Close"), 2);
}

TEST_P(ConnectionVariant, FailedOpenLeavesTheConnectionClosed) {
    RecordingPoster poster;
    EXPECT_EQ(CodedErrorOf([&] { connection_.StartMonitor(&poster, kMonitorMessage); }),
              kErrReaderNotConnected);
    field_.FailCall(GetParam().reader, "Open", 1, acr120::rc::kPortOccupied);
    EXPECT_EQ(ReaderErrorOf([&] { connection_.Open(GetParam().name); }), acr120::rc::kPortOccupied);
    EXPECT_FALSE(connection_.IsConnected());
    EXPECT_EQ(CodedErrorOf([&] { connection_.ConnectCard(); }), kErrReaderNotConnected);
    connection_.Connect();
    EXPECT_TRUE(connection_.IsConnected());
}

TEST_P(ConnectionVariant, KeysGoToTheCacheOrTheReaderAfterConnect) {
    const MifareKey key{1, 2, 3, 4, 5, 6};
    for (bool toReader : {false, true}) {
        EXPECT_EQ(CodedErrorOf([&] { connection_.StoreKey(toReader, kKeyTypeA, 0, key.data()); }),
                  kErrReaderNotConnected);
    }
    connection_.Open(GetParam().name);
    EXPECT_EQ(CodedErrorOf([&] { connection_.StoreKey(false, 0x62, 0, key.data()); }),
              kErrInvalidParameter);
    EXPECT_EQ(CodedErrorOf([&] { connection_.StoreKey(true, kKeyTypeB, 16, key.data()); }),
              kErrInvalidParameter);

    connection_.StoreKey(false, kKeyTypeB, 15, key.data());
    connection_.StoreKey(false, kKeyTypeA, 3, key.data());
    EXPECT_EQ(connection_.CachedKey(31), key);
    EXPECT_EQ(connection_.CachedKey(6), key);
    EXPECT_EQ(connection_.CachedKey(7), MifareKey{});
    EXPECT_EQ(field_.CountCalls(GetParam().reader, "WriteMasterKey"), 0);

    connection_.StoreKey(true, kKeyTypeB, 2, key.data());
    EXPECT_EQ(field_.StoredKey(GetParam().reader, 5), key);
    EXPECT_EQ(connection_.CachedKey(5), MifareKey{});

    field_.FailCall(GetParam().reader, "WriteMasterKey", 1, acr120::rc::kInvalidStoredKey);
    EXPECT_EQ(ReaderErrorOf([&] { connection_.StoreKey(true, kKeyTypeA, 0, key.data()); }),
              acr120::rc::kInvalidStoredKey);
    EXPECT_TRUE(connection_.ReaderLockIsFree());
}

TEST_P(ConnectionVariant, DestroyingAConnectedObjectStopsTheMonitorAndClosesTheReader) {
    field_.NewCard(GetParam().reader, vreader::CardKind::kClassic1K);
    RecordingPoster poster;
    {
        ProbeConnection connection;
        connection.Open(GetParam().name);
        ASSERT_TRUE(connection.StartMonitor(&poster, kMonitorMessage));
        ASSERT_TRUE(poster.WaitFor(1));
    }
    EXPECT_EQ(field_.CountCalls(GetParam().reader, "Close"), 1);
    const int listings = field_.CountCalls(GetParam().reader, GetParam().listing);
    field_.RemoveCard(GetParam().reader);
    std::this_thread::sleep_for(700ms);
    EXPECT_EQ(field_.CountCalls(GetParam().reader, GetParam().listing), listings);
    EXPECT_EQ(poster.WParams().size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(BothLibraries, ConnectionVariant, testing::Values(kSerial, kUsb),
                         PrintVariant);

TEST_F(Connection, SerialReaderInModeRegister0x42IsSwitchedTo0x46Only) {
    struct Case {
        std::uint8_t before;
        bool readFails;
        std::uint8_t after;
        int writes;
    };
    for (const Case& c : {Case{0x42, false, 0x46, 1}, Case{0x46, false, 0x46, 0},
                          Case{0x00, false, 0x00, 0}, Case{0x43, false, 0x43, 0},
                          Case{0x42, true, 0x42, 0}}) {
        field_.SetEeprom("COM1", 5, c.before);
        field_.ClearCallLog("COM1");
        if (c.readFails) {
            field_.FailCall("COM1", "ReadEEPROM", 1, acr120::rc::kOperationFailed);
        }
        connection_.Open(u"COM1");
        EXPECT_TRUE(connection_.IsConnected());
        EXPECT_EQ(field_.Eeprom("COM1", 5), c.after) << int{c.before};
        EXPECT_EQ(field_.CountCalls("COM1", "WriteEEPROM"), c.writes) << int{c.before};
        connection_.Disconnect();
        field_.ClearFaults("COM1");
    }
    // A failing rewrite does not fail the connection.
    field_.SetEeprom("COM1", 5, 0x42);
    field_.FailCall("COM1", "WriteEEPROM", 1, acr120::rc::kOperationFailed);
    connection_.Open(u"COM1");
    EXPECT_TRUE(connection_.IsConnected());

    // A USB reader is only opened.
    connection_.Disconnect();
    field_.SetEeprom("USB1", 5, 0x42);
    connection_.Open(u"USB1");
    EXPECT_EQ(field_.Eeprom("USB1", 5), 0x42);
    EXPECT_EQ(field_.CallLog("USB1").size(), 1u);
}

TEST_F(Connection, SerialStationIsLearntAndAMissingStationClosesTheHandle) {
    field_.SetStation("COM1", 7);
    connection_.Open(u"COM1");
    EXPECT_EQ(connection_.Station(), 7);
    connection_.Disconnect();

    field_.SetStationCountZero("COM1");
    EXPECT_EQ(ReaderErrorOf([&] { connection_.Connect(); }), acr120::rc::kInternalError);
    EXPECT_FALSE(connection_.IsConnected());
    EXPECT_EQ(field_.CountCalls("COM1", "Close"), 2);

    field_.ClearFaults("COM1");
    field_.FailCall("COM1", "GetID", 1, acr120::rc::kPortOccupied);
    EXPECT_EQ(ReaderErrorOf([&] { connection_.Connect(); }), acr120::rc::kPortOccupied);
    EXPECT_EQ(field_.CountCalls("COM1", "Close"), 3);
    EXPECT_EQ(field_.CountCalls("COM1", "Open"), 3);
}

TEST(ConnectionLibraries, AMissingLibraryFailsConstructionWithCode6) {
    vreader::ScopedVirtualField field;
    const fs::path bin = platform::ProgramModule().file.parent_path();
    const fs::path folder = field.Dir() / "program";
    fs::create_directories(folder);
    const platform::ModuleRef module{folder / "tagquill"};

    EXPECT_EQ(CodedErrorOf([&] { CACR120Base connection(module); }), kErrLibraryMissing);
    fs::copy_file(bin / "libacr120.so", folder / "libacr120.so");
    EXPECT_EQ(CodedErrorOf([&] { CACR120Base connection(module); }), kErrLibraryMissing);
    fs::copy_file(bin / "libacr120u.so", folder / "libacr120u.so");
    CACR120Base connection(module);
    connection.SetReaderName(u"COM1");
    connection.Connect();
}

TEST(ConnectionTrace, TheEnvironmentNamesTheTraceOfSerialCallsOnly) {
    vreader::ScopedVirtualField field;
    const fs::path trace = field.Dir() / "trace.log";
    ASSERT_EQ(setenv("TAGQUILL_TRACE", trace.c_str(), 1), 0);
    {
        ProbeConnection connection;
        unsetenv("TAGQUILL_TRACE");
        connection.Open(u"USB1");
        connection.Disconnect();
        EXPECT_FALSE(fs::exists(trace));
        connection.Open(u"COM1");
    }
    std::ifstream in(trace, std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    EXPECT_NE(text.find("] ACR120_Open(0,0) = "), std::string::npos) << text;
    EXPECT_NE(text.find("] ACR120_GetID("), std::string::npos);
    EXPECT_NE(text.find("] ACR120_ReadEEPROM("), std::string::npos);
    EXPECT_NE(text.find("] ACR120_Close("), std::string::npos);

    ProbeConnection untraced;
    EXPECT_TRUE(untraced.SerialLibrary().traceFileName.empty());
}

}  // namespace
