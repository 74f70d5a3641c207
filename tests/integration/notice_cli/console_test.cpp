// The command-line tools in a Windows console: a console shows bytes in its own
// code page (866 for a Russian one), so UTF-8 written to it comes out as garbage.
// The tools run in a console of the test's own, on code page 866, and what the
// console then shows is read back from its screen.

#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "control/virtual_field.h"
#include "platform/library.h"

namespace {

class ConsoleTest : public ::testing::Test {
protected:
    ConsoleTest() {
        field_.NewCard("COM1", vreader::CardKind::kClassic1K, vreader::Bytes{1, 2, 3, 4});
        // A console of its own: the tools started below inherit it. The test's
        // own output stays where the runner reads it.
        FreeConsole();
        if (AllocConsole()) {
            screen_ =
                CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
            SetConsoleOutputCP(866);
        }
    }
    ~ConsoleTest() override {
        if (screen_ != INVALID_HANDLE_VALUE) {
            CloseHandle(screen_);
        }
        FreeConsole();
    }

    // Runs a tool of the test's own folder in the console; its exit code.
    DWORD Run(const std::wstring& tool, const std::wstring& arguments) {
        const std::wstring program =
            (platform::ProgramModule().file.parent_path() / tool).wstring();
        std::wstring line = L"\"" + program + L"\" " + arguments;
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION process{};
        if (!CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                            nullptr, &startup, &process)) {
            ADD_FAILURE() << "cannot start the tool: " << GetLastError();
            return ~DWORD{0};
        }
        WaitForSingleObject(process.hProcess, 60000);
        DWORD code = ~DWORD{0};
        GetExitCodeProcess(process.hProcess, &code);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        return code;
    }

    // The console's screen, one string a row, trailing blanks cut.
    std::vector<std::u16string> Screen() const {
        CONSOLE_SCREEN_BUFFER_INFO info{};
        std::vector<std::u16string> rows;
        if (!GetConsoleScreenBufferInfo(screen_, &info)) {
            return rows;
        }
        const auto width = static_cast<DWORD>(info.dwSize.X);
        for (SHORT y = 0; y <= info.dwCursorPosition.Y; ++y) {
            std::wstring row(width, L' ');
            DWORD read = 0;
            ReadConsoleOutputCharacterW(screen_, row.data(), width, COORD{0, y}, &read);
            row.resize(row.find_last_not_of(L' ') + 1);
            rows.emplace_back(row.begin(), row.end());
        }
        return rows;
    }

    vreader::ScopedVirtualField field_;
    HANDLE screen_ = INVALID_HANDLE_VALUE;
};

TEST_F(ConsoleTest, CyrillicNoticesNamesAndMessagesShowAsTheyAre) {
    ASSERT_NE(screen_, INVALID_HANDLE_VALUE) << "no console: " << GetLastError();
    // A file named in Cyrillic, as Notepad saves it (UTF-8 with a byte-order mark).
    const std::filesystem::path file =
        field_.Dir() / L"\u0437\u0430\u043c\u0435\u0442\u043a\u0430.txt";
    std::ofstream(file, std::ios::binary)
        << "\xEF\xBB\xBF\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82, \xD0\xBC\xD0\xB8\xD1\x80";
    ASSERT_EQ(Run(L"tagquill-notice.exe",
                  L"write --reader COM1 --code-page 1251 --file \"" + file.wstring() + L"\""),
              0u);
    EXPECT_EQ(Run(L"tagquill-notice.exe", L"read --reader COM1 --code-page 1251"), 0u);
    // Standard error, through a name the tool repeats.
    EXPECT_NE(Run(L"tagquill-notice.exe", L"write --reader COM1 --file \u043d\u0435\u0442.txt"),
              0u);
    EXPECT_EQ(Run(L"tagquill-vreader.exe",
                  L"new-card 1k --name \u043a\u0430\u0440\u0442\u0430.mfd --reader USB1"),
              0u);
    EXPECT_EQ(Run(L"tagquill-vreader.exe", L"list"), 0u);

    const std::vector<std::u16string> rows = Screen();
    const auto shows = [&](std::u16string_view text) {
        for (const std::u16string& row : rows) {
            if (row.find(text) != std::u16string::npos) {
                return true;
            }
        }
        return false;
    };
    std::string screen;
    for (const std::u16string& row : rows) {
        for (char16_t c : row) {
            screen += c < 0x80 ? static_cast<char>(c) : '?';
        }
        screen += '\n';
    }
    EXPECT_TRUE(shows(u"\u041f\u0440\u0438\u0432\u0435\u0442, \u043c\u0438\u0440")) << screen;
    EXPECT_TRUE(shows(u"\u043d\u0435\u0442.txt")) << screen;
    EXPECT_TRUE(shows(u"\u043a\u0430\u0440\u0442\u0430.mfd")) << screen;
}

}  // namespace
