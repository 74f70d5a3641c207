// The Win32 half's system calls over values of the test's own: a registry key, a
// device set, a file another handle holds, a long message.

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <random>

#include "platform/device_list.h"
#include "platform/file_append.h"
#include "platform/system_message.h"
#include "platform/win32/steps.h"

namespace {

namespace fs = std::filesystem;
using Names = std::vector<std::u16string>;
using platform::win32::kAppendRetries;

std::wstring RandomPart() {
    return std::to_wstring(std::random_device()());
}

// A key of the test's own under HKEY_CURRENT_USER, removed with everything in it.
class ScratchKey {
public:
    ScratchKey() : path_(L"Software\\Tagquill test " + RandomPart()) {
        EXPECT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                  nullptr, &key_, nullptr),
                  ERROR_SUCCESS);
    }
    ~ScratchKey() {
        RegCloseKey(key_);
        RegDeleteTreeW(HKEY_CURRENT_USER, path_.c_str());
    }
    // Stores the units of `data`, with or without a terminator.
    void Set(const std::wstring& name, std::wstring_view data) {
        EXPECT_EQ(RegSetValueExW(key_, name.c_str(), 0, REG_SZ,
                                 reinterpret_cast<const BYTE*>(data.data()),
                                 static_cast<DWORD>(data.size() * sizeof(wchar_t))),
                  ERROR_SUCCESS);
    }
    Names PortNames() const { return platform::win32::PortNamesInKey(key_); }

private:
    std::wstring path_;
    HKEY key_ = nullptr;
};

// Values are named in their order of creation, which Windows enumerates them in
// and Wine sorts them by name: the two agree.
TEST(Win32Devices, SerialPortsAreReadUpToTheFirstValueThatDoesNotFit) {
    {
        ScratchKey key;
        key.Set(L"1", {L"COM1", 5});     // with its terminator
        key.Set(L"2", {L"COM2\0x", 6});  // text ends at the first NUL
        // 16 bytes, no terminator (the system adds one it finds right after them)
        key.Set(L"3", {L"COM12345!", 8});
        key.Set(L"4" + std::wstring(126, L'n'), L"COM4");  // the longest name that fits
        key.Set(L"5", L"COM123456");                       // 18 bytes of data: the end
        key.Set(L"6", L"COM6");
        EXPECT_EQ(key.PortNames(), (Names{u"COM1", u"COM2", u"COM12345", u"COM4"}));
    }
    {
        ScratchKey key;
        key.Set(L"1", L"COM1");
        key.Set(L"2" + std::wstring(127, L'n'), L"COM2");  // a name of 128: the end
        key.Set(L"3", L"COM3");
        EXPECT_EQ(key.PortNames(), Names{u"COM1"});
    }
    // The system's own key: Wine lists COM1 and up there, as Windows does.
    const Names ports = platform::SerialPortNames(platform::DefaultDeviceTreeRoot());
    EXPECT_NE(std::find(ports.begin(), ports.end(), u"COM1"), ports.end());
}

// A set of devices made up here: never registered, they go with the set. Their
// instance parts are new on every run, so that no device of the system, nor one
// a crashed run left behind, has their identifiers.
TEST(Win32Devices, UsbDevicesGiveTheirWholeInstanceIdsInMemberOrder) {
    const std::wstring run = RandomPart();
    const std::wstring acr120 = L"USB\\VID_072F&PID_8003\\";
    const std::vector<std::wstring> ids{
        L"USB\\VID_046D&PID_C52B\\" + run,
        acr120 + L"A" + run,
        // The longest identifier the system accepts, 199 characters.
        acr120 + L"B" + run + std::wstring(199 - acr120.size() - 1 - run.size(), L'7'),
    };
    HDEVINFO devices = SetupDiCreateDeviceInfoList(nullptr, nullptr);
    ASSERT_NE(devices, INVALID_HANDLE_VALUE);
    Names expected;
    for (const std::wstring& id : ids) {
        const GUID noClass{};
        EXPECT_TRUE(
            SetupDiCreateDeviceInfoW(devices, id.c_str(), &noClass, nullptr, nullptr, 0, nullptr))
            << GetLastError();
        expected.emplace_back(id.begin(), id.end());
    }
    EXPECT_EQ(platform::win32::InstanceIdsInSet(devices), expected);
    SetupDiDestroyDeviceInfoList(devices);
}

// A trace file another handle holds without sharing is tried again before its
// line is given up; an open that fails for another reason is not.
TEST(Win32TraceFile, AnOpenRefusedBySharingIsRetriedThenTheLineIsLost) {
    const fs::path path = fs::temp_directory_path() / (L"tagquill-append-" + RandomPart());
    const auto hold = [&] {
        return CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    };
    HANDLE holder = hold();
    int pauses = 0;
    // Let go during the last pause: the last try writes the line.
    EXPECT_TRUE(platform::win32::AppendToFile(path, "kept\r\n", [&] {
        if (++pauses == kAppendRetries) {
            CloseHandle(holder);
        }
    }));
    EXPECT_EQ(pauses, kAppendRetries);

    // Never let go: the call returns, the line is lost and the sharing is the reason.
    holder = hold();
    pauses = 0;
    EXPECT_FALSE(platform::win32::AppendToFile(path, "lost\r\n", [&] { ++pauses; }));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_EQ(pauses, kAppendRetries);
    EXPECT_FALSE(platform::AppendToFile(path, "lost\r\n"));  // the program's own pause
    CloseHandle(holder);
    std::ifstream file(path, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(file), {}), "kept\r\n");
    file.close();

    pauses = 0;
    EXPECT_FALSE(platform::win32::AppendToFile(path / "not a folder", "x", [&] { ++pauses; }));
    EXPECT_EQ(pauses, 0);
    std::error_code ignored;
    fs::remove(path, ignored);
}

TEST(Win32SystemMessage, TextsAreWholeAndTheirInsertsStayUnfilled) {
    // ERROR_BAD_EXE_FORMAT's text names the file with %1, under Windows and Wine.
    const std::u16string text = platform::SystemMessageForHResult(static_cast<int32_t>(0x800700C1));
    EXPECT_NE(text.find(u"%1"), std::u16string::npos) << text.size();
    EXPECT_TRUE(text.ends_with(u"\r\n"));
    // Wine's system texts are all short: a long one through the same call.
    const std::wstring longText = std::wstring(600, L'x') + L" %1 %2.";
    EXPECT_EQ(platform::win32::MessageText(FORMAT_MESSAGE_FROM_STRING, longText.c_str(), 0),
              std::u16string(longText.begin(), longText.end()));
}

}  // namespace
