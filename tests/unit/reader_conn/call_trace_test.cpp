// The serial library's call trace, with fake entry points standing in for the
// library so that every output value is known.

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <new>
#include <numeric>
#include <random>
#include <sstream>
#include <string>
#include <type_traits>

#include "platform/last_error.h"
#include "reader/acr120_dll.h"
#include "reader/acr120_trace.h"

namespace fs = std::filesystem;
using reader_trace::Address;

namespace {

using std::int16_t;
using std::uint8_t;
using E = CACR120Dll::Entries;
using reader_trace::SerialBytes;
using reader_trace::Shown;

constexpr std::array<std::uint8_t, 6> kSecretKey{0xA1, 0xB2, 0xC3, 0xD4, 0xE5, 0xF6};

// The stand-ins take the library's calling convention (__stdcall on 32-bit Windows),
// which lambdas cannot.
int16_t ACR120_CALL Open(int16_t, int16_t) {
    return 3;
}
int16_t ACR120_CALL OpenFails(int16_t, int16_t) {
    return -2000;
}
int16_t ACR120_CALL Close(int16_t) {
    return 0;
}
int16_t ACR120_CALL GetId(int16_t, uint8_t* count, uint8_t* stations) {
    *count = 1;
    stations[0] = 7;
    return 0;
}
int16_t ACR120_CALL ListTag(int16_t, uint8_t, uint8_t* count, std::uint32_t* flag, uint8_t* types,
                            uint8_t* serials) {
    *count = *flag = 1;
    types[0] = 2;
    std::iota(serials, serials + 10, uint8_t{1});
    return 0;
}
int16_t ACR120_CALL MultiTagSelect(int16_t, uint8_t, uint8_t* in, std::uint32_t*, uint8_t* type,
                                   uint8_t* out) {
    std::copy(in, in + 10, out);
    *type = 3;
    return 0;
}
int16_t ACR120_CALL WriteMasterKey(int16_t, uint8_t, uint8_t, uint8_t*) {
    return 0;
}
int16_t ACR120_CALL Login(int16_t, uint8_t, uint8_t, uint8_t, std::int32_t, uint8_t*) {
    return -4011;
}
int16_t ACR120_CALL ReadEeprom(int16_t, uint8_t, uint8_t, uint8_t* value) {
    *value = 0x42;
    return 0;
}
int16_t ACR120_CALL WriteEeprom(int16_t, uint8_t, uint8_t, uint8_t) {
    return 0;
}

class CallTrace : public testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("tagquill-trace-" + std::to_string(std::random_device()()));
        fs::create_directories(dir_);
        reader_trace::SetStampSource([]() -> reader_trace::Stamp { return {{9, 5, 7}, 1234}; });
        // Every output has a known value.
        Stand(&E::open, &Open);
        Stand(&E::close, &Close);
        Stand(&E::getId, &GetId);
        Stand(&E::listTag, &ListTag);
        Stand(&E::multiTagSelect, &MultiTagSelect);
        Stand(&E::writeMasterKey, &WriteMasterKey);
        Stand(&E::login, &Login);
        Stand(&E::readEeprom, &ReadEeprom);
        Stand(&E::writeEeprom, &WriteEeprom);
        dll_.traceFileName = TracePath().u16string();
    }
    void TearDown() override {
        reader_trace::SetStampSource(nullptr);
        fs::remove_all(dir_);
    }

    // The library's answer to one function.
    template <typename Function>
    void Stand(reader_binding::EntryPoint<Function> E::*entry,
               std::type_identity_t<Function> standIn) {
        dll_.Replace(entry, standIn);
    }
    fs::path TracePath() const { return dir_ / "trace.log"; }
    std::string TraceBytes() const {
        std::stringstream bytes;
        bytes << std::ifstream(TracePath(), std::ios::binary).rdbuf();
        return bytes.str();
    }
    static std::string Line(const std::string& text) {
        return "[09:05:07][tid=1234] " + text + "\r\n";
    }

    fs::path dir_;
    CACR120Dll dll_;
};

TEST_F(CallTrace, LinesShowOutputsAsTheyAreAfterTheCallAndAreAppended) {
    std::ofstream(TracePath(), std::ios::binary) << "earlier session\r\n";
    std::uint8_t count = 0, value = 0, type = 0;
    std::uint32_t flag = 0, one = 1;
    std::array<std::uint8_t, 256> stations{};
    std::array<std::uint8_t, 16> types{};
    std::array<std::uint8_t, 160> serials{};
    std::array<std::uint8_t, 10> in{0xDE, 0xAD, 0xBE, 0xEF}, out{};

    EXPECT_EQ(dll_.Call(&E::open, 2, 0), 3);
    EXPECT_EQ(dll_.Call(&E::getId, 3, Shown{&count}, Shown{stations.data()}), 0);
    EXPECT_EQ(dll_.Call(&E::listTag, 3, 7u, Shown{&count}, Shown{&flag}, Shown{types.data()},
                        SerialBytes{serials.data()}),
              0);
    EXPECT_EQ(dll_.Call(&E::readEeprom, 3, 7u, 5u, Shown{&value}), 0);
    EXPECT_EQ(dll_.Call(&E::writeEeprom, 3, 7u, 5u, 0x46u), 0);
    EXPECT_EQ(dll_.Call(&E::multiTagSelect, -1, 255u, SerialBytes{in.data()}, Shown{&one},
                        Shown{&type}, SerialBytes{out.data()}),
              0);
    EXPECT_EQ(dll_.Call(&E::close, 3), 0);
    Stand(&E::open, &OpenFails);
    EXPECT_EQ(dll_.Call(&E::open, 9, 0), -2000);

    const std::string a = Address(&count);
    EXPECT_EQ(TraceBytes(),
              "earlier session\r\n[09:05:07][tid=1234] ACR120_Open(2,0) = 3\r\n" +
                  Line("ACR120_GetID(3,*(" + a + ")=1,*(" + Address(stations.data()) + ")=7) = 0") +
                  Line("ACR120_ListTag(3,7,*(" + a + ")=1,*(" + Address(&flag) + ")=1,*(" +
                       Address(types.data()) + ")=2,*(" + Address(serials.data()) +
                       ")=0102030405060708090A) = 0") +
                  Line("ACR120_ReadEEPROM(3,7,5,*(" + Address(&value) + ")=66) = 0") +
                  Line("ACR120_WriteEEPROM(3,7,5,70) = 0") +
                  Line("ACR120_MultiTagSelect(-1,255,*(" + Address(in.data()) +
                       ")=DEADBEEF000000000000,*(" + Address(&one) + ")=1,*(" + Address(&type) +
                       ")=3,*(" + Address(out.data()) + ")=DEADBEEF000000000000) = 0") +
                  Line("ACR120_Close(3) = 0") + Line("ACR120_Open(9,0) = -2000"));
}

TEST_F(CallTrace, KeysAppearOnlyAsAddresses) {
    std::array<std::uint8_t, 6> key = kSecretKey;
    EXPECT_EQ(dll_.Call(&E::writeMasterKey, 3, 1u, 31u, key.data()), 0);
    EXPECT_EQ(dll_.Call(&E::login, 3, 1u, 15u, 0u, -1, key.data()), -4011);
    EXPECT_EQ(dll_.Call(&E::login, 3, 1u, 0u, 3u, 2, nullptr), -4011);

    const std::string bytes = TraceBytes();
    EXPECT_EQ(bytes, Line("ACR120_WriteMasterKey(3,1,31," + Address(key.data()) + ") = 0") +
                         Line("ACR120_Login(3,1,15,0,-1," + Address(key.data()) + ") = -4011") +
                         Line("ACR120_Login(3,1,0,3,2," + Address(nullptr) + ") = -4011"));
    EXPECT_EQ(bytes.find("A1B2C3D4E5F6"), std::string::npos);
    EXPECT_EQ(bytes.find(std::string(kSecretKey.begin(), kSecretKey.end())), std::string::npos);
}

TEST(CallTraceAddress, AddressesUseEveryDigitOfAPointer) {
    EXPECT_EQ(Address(reinterpret_cast<const void*>(std::uintptr_t{0x1234})),
              std::string(2 * sizeof(void*) - 4, '0') + "1234");
    EXPECT_EQ(Address(reinterpret_cast<const void*>(~std::uintptr_t{0})),
              std::string(2 * sizeof(void*), 'F'));
}

TEST_F(CallTrace, AMissingFolderOrNoTraceNameWritesNothingAndChangesNoResult) {
    for (const fs::path& name : {dir_ / "no such folder" / "trace.log", fs::path{}}) {
        SCOPED_TRACE(name);
        dll_.traceFileName = name.u16string();
        EXPECT_EQ(dll_.Call(&E::open, 0, 0), 3);
        // Only a failed write says so, and leaves the system's reason.
        EXPECT_EQ(dll_.WriteTraceLine(u"x"), name.empty());
        if (!name.empty()) {
            EXPECT_NE(platform::GetLastErrorValue(), platform::kErrorSuccess);
        }
        EXPECT_TRUE(fs::is_empty(dir_));
    }
}

// Memory running out while a call is described loses the trace line, not the call:
// an opened handle reported as a failure would never be closed.
TEST(CallTraceText, RunningOutOfMemoryLosesTheLineAndNothingElse) {
    std::u16string text = u"untouched";
    EXPECT_FALSE(
        reader_trace::BuildCallText([]() -> std::string { throw std::bad_alloc(); }, text));
    EXPECT_TRUE(
        reader_trace::BuildCallText([] { return std::string("ACR120_Open(0) = 3"); }, text));
    EXPECT_EQ(text, u"ACR120_Open(0) = 3");
}

}  // namespace
