// The serial library's call trace, with fake entry points standing in for the
// library so that every output value is known.

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include "platform/last_error.h"
#include "reader/acr120_dll.h"
#include "reader/acr120_trace.h"

namespace fs = std::filesystem;
using reader_trace::Address;

namespace {

std::int16_t CloseOk(std::int16_t) { return 0; }
std::int16_t OpenHandle3(std::int16_t, std::int16_t) { return 3; }
std::int16_t OpenOccupied(std::int16_t, std::int16_t) { return -2010; }
std::int16_t GetIdStation7(std::int16_t, std::uint8_t* count, std::uint8_t* stations) {
    *count = 1;
    stations[0] = 7;
    return 0;
}
std::int16_t ListOneTag(std::int16_t, std::uint8_t, std::uint8_t* count, std::uint32_t* flag,
                        std::uint8_t* types, std::uint8_t* serials) {
    *count = 1;
    *flag = 1;
    types[0] = 2;
    for (int i = 0; i < 10; ++i) {
        serials[i] = static_cast<std::uint8_t>(i + 1);
    }
    return 0;
}
std::int16_t SelectEcho(std::int16_t, std::uint8_t, std::uint8_t* in, std::uint32_t*,
                        std::uint8_t* type, std::uint8_t* out) {
    std::copy(in, in + 10, out);
    *type = 3;
    return 0;
}
std::int16_t WriteKeyOk(std::int16_t, std::uint8_t, std::uint8_t, std::uint8_t*) { return 0; }
std::int16_t LoginFails(std::int16_t, std::uint8_t, std::uint8_t, std::uint8_t, std::int32_t,
                        std::uint8_t*) {
    return -4011;
}
std::int16_t ReadEepromGives42(std::int16_t, std::uint8_t, std::uint8_t, std::uint8_t* value) {
    *value = 0x42;
    return 0;
}
std::int16_t WriteEepromOk(std::int16_t, std::uint8_t, std::uint8_t, std::uint8_t) { return 0; }

reader_trace::Stamp FixedStamp() { return {{9, 5, 7}, 1234}; }

constexpr std::array<std::uint8_t, 6> kSecretKey{0xA1, 0xB2, 0xC3, 0xD4, 0xE5, 0xF6};

class CallTrace : public testing::Test {
protected:
    void SetUp() override {
        std::random_device random;
        dir_ = fs::temp_directory_path() / ("tagquill-trace-" + std::to_string(random()));
        fs::create_directories(dir_);
        reader_trace::SetStampSource(&FixedStamp);
        dll_.ACR120_Open = &OpenHandle3;
        dll_.ACR120_Close = &CloseOk;
        dll_.ACR120_GetID = &GetIdStation7;
        dll_.ACR120_ListTag = &ListOneTag;
        dll_.ACR120_MultiTagSelect = &SelectEcho;
        dll_.ACR120_WriteMasterKey = &WriteKeyOk;
        dll_.ACR120_Login = &LoginFails;
        dll_.ACR120_ReadEEPROM = &ReadEepromGives42;
        dll_.ACR120_WriteEEPROM = &WriteEepromOk;
        dll_.traceFileName = TracePath().u16string();
    }
    void TearDown() override {
        reader_trace::SetStampSource(nullptr);
        fs::remove_all(dir_);
    }

    fs::path TracePath() const { return dir_ / "trace.log"; }
    std::string TraceBytes() const {
        std::ifstream in(TracePath(), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    static std::string Line(const std::string& text) { return "[09:05:07][tid=1234] " + text + "\r\n"; }

    fs::path dir_;
    CACR120Dll dll_;
};

TEST_F(CallTrace, LineHasTimeThreadTextAndCrLf) {
    EXPECT_EQ(dll_.Close(0), 0);
    EXPECT_EQ(TraceBytes(), "[09:05:07][tid=1234] ACR120_Close(0) = 0\r\n");
}

TEST_F(CallTrace, OutputsAreShownAsTheyAreAfterTheCall) {
    std::uint8_t count = 0;
    std::array<std::uint8_t, 256> stations{};
    std::uint32_t flag = 0;
    std::array<std::uint8_t, 16> types{};
    std::array<std::uint8_t, 160> serials{};
    std::uint8_t value = 0;

    EXPECT_EQ(dll_.Open(2, 0), 3);
    EXPECT_EQ(dll_.GetID(3, &count, stations.data()), 0);
    EXPECT_EQ(dll_.ListTag(3, 7, &count, &flag, types.data(), serials.data()), 0);
    EXPECT_EQ(dll_.ReadEEPROM(3, 7, 5, &value), 0);
    EXPECT_EQ(dll_.WriteEEPROM(3, 7, 5, 0x46), 0);

    const std::string a = Address(&count);
    EXPECT_EQ(TraceBytes(),
              Line("ACR120_Open(2,0) = 3") +
                  Line("ACR120_GetID(3,*(" + a + ")=1,*(" + Address(stations.data()) + ")=7) = 0") +
                  Line("ACR120_ListTag(3,7,*(" + a + ")=1,*(" + Address(&flag) + ")=1,*(" +
                       Address(types.data()) + ")=2,*(" + Address(serials.data()) +
                       ")=0102030405060708090A) = 0") +
                  Line("ACR120_ReadEEPROM(3,7,5,*(" + Address(&value) + ")=66) = 0") +
                  Line("ACR120_WriteEEPROM(3,7,5,70) = 0"));
}

TEST_F(CallTrace, SelectionShowsBothSerialNumbersAndTheOutputType) {
    std::array<std::uint8_t, 10> in{0xDE, 0xAD, 0xBE, 0xEF};
    std::array<std::uint8_t, 10> out{};
    std::uint32_t one = 1;
    std::uint8_t type = 0;
    EXPECT_EQ(dll_.MultiTagSelect(-1, 255, in.data(), &one, &type, out.data()), 0);
    EXPECT_EQ(TraceBytes(), Line("ACR120_MultiTagSelect(-1,255,*(" + Address(in.data()) +
                                 ")=DEADBEEF000000000000,*(" + Address(&one) + ")=1,*(" +
                                 Address(&type) + ")=3,*(" + Address(out.data()) +
                                 ")=DEADBEEF000000000000) = 0"));
}

TEST_F(CallTrace, KeysAppearOnlyAsAddresses) {
    std::array<std::uint8_t, 6> key = kSecretKey;
    EXPECT_EQ(dll_.WriteMasterKey(3, 1, 31, key.data()), 0);
    EXPECT_EQ(dll_.Login(3, 1, 15, 0, -1, key.data()), -4011);
    EXPECT_EQ(dll_.Login(3, 1, 0, 3, 2, nullptr), -4011);

    const std::string bytes = TraceBytes();
    EXPECT_EQ(bytes, Line("ACR120_WriteMasterKey(3,1,31," + Address(key.data()) + ") = 0") +
                         Line("ACR120_Login(3,1,15,0,-1," + Address(key.data()) + ") = -4011") +
                         Line("ACR120_Login(3,1,0,3,2," + Address(nullptr) + ") = -4011"));
    EXPECT_EQ(bytes.find("A1B2C3D4E5F6"), std::string::npos);
    EXPECT_EQ(bytes.find(std::string(kSecretKey.begin(), kSecretKey.end())), std::string::npos);
}

TEST_F(CallTrace, AddressesUseEveryDigitOfAPointer) {
    const std::string text = Address(reinterpret_cast<const void*>(std::uintptr_t{0x1234}));
    EXPECT_EQ(text, std::string(2 * sizeof(void*) - 4, '0') + "1234");
    EXPECT_EQ(Address(reinterpret_cast<const void*>(~std::uintptr_t{0})),
              std::string(2 * sizeof(void*), 'F'));
}

TEST_F(CallTrace, ExistingContentIsKeptAndLinesAreAppended) {
    {
        std::ofstream out(TracePath(), std::ios::binary);
        out << "earlier session\r\n";
    }
    dll_.Close(0);
    dll_.Close(1);
    EXPECT_EQ(TraceBytes(), "earlier session\r\n" + Line("ACR120_Close(0) = 0") +
                                Line("ACR120_Close(1) = 0"));
}

TEST_F(CallTrace, FailuresToTraceNeverChangeResults) {
    dll_.traceFileName = (dir_ / "no such folder" / "trace.log").u16string();
    dll_.ACR120_Open = &OpenOccupied;
    EXPECT_EQ(dll_.Open(0, 0), -2010);
    dll_.ACR120_Open = &OpenHandle3;
    EXPECT_EQ(dll_.Open(0, 0), 3);
    EXPECT_FALSE(dll_.WriteTraceLine(u"x"));
    EXPECT_NE(platform::GetLastErrorValue(), platform::kErrorSuccess);
    EXPECT_FALSE(fs::exists(dir_ / "no such folder"));
}

TEST_F(CallTrace, NoTraceNameMeansNoFile) {
    dll_.traceFileName.clear();
    dll_.ACR120_Open = &OpenOccupied;
    EXPECT_EQ(dll_.Open(0, 0), -2010);
    EXPECT_TRUE(dll_.WriteTraceLine(u"x"));
    EXPECT_TRUE(fs::is_empty(dir_));
}

}  // namespace
