// The serial library's call trace where the serial port's session cannot reach it: a
// trace file that cannot be written, addresses at the ends of their range, and memory
// running out. (The lines a session writes: tests/integration/reader.)

#include <gtest/gtest.h>

#include <filesystem>
#include <new>
#include <random>
#include <string>

#include "platform/last_error.h"
#include "reader/acr120_dll.h"
#include "reader/acr120_trace.h"

namespace fs = std::filesystem;
using reader_trace::Address;

namespace {

using E = CACR120Dll::Entries;

// The stand-in takes the library's calling convention (__stdcall on 32-bit Windows),
// which lambdas cannot.
std::int16_t ACR120_CALL Open(std::int16_t, std::int16_t) {
    return 3;
}

TEST(CallTraceAddress, AddressesUseEveryDigitOfAPointer) {
    EXPECT_EQ(Address(reinterpret_cast<const void*>(std::uintptr_t{0x1234})),
              std::string(2 * sizeof(void*) - 4, '0') + "1234");
    EXPECT_EQ(Address(reinterpret_cast<const void*>(~std::uintptr_t{0})),
              std::string(2 * sizeof(void*), 'F'));
}

TEST(CallTrace, AMissingFolderOrNoTraceNameWritesNothingAndChangesNoResult) {
    const fs::path dir =
        fs::temp_directory_path() / ("tagquill-trace-" + std::to_string(std::random_device()()));
    fs::create_directories(dir);
    CACR120Dll dll;
    dll.Replace(&E::open, &Open);
    for (const fs::path& name : {dir / "no such folder" / "trace.log", fs::path{}}) {
        SCOPED_TRACE(name);
        dll.traceFileName = name.u16string();
        EXPECT_EQ(dll.Call(&E::open, 0, 0), 3);
        // Only a failed write says so, and leaves the system's reason.
        EXPECT_EQ(dll.WriteTraceLine(u"x"), name.empty());
        if (!name.empty()) {
            EXPECT_NE(platform::GetLastErrorValue(), platform::kErrorSuccess);
        }
        EXPECT_TRUE(fs::is_empty(dir));
    }
    fs::remove_all(dir);
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
