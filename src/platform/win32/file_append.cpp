#include "platform/file_append.h"

#include "platform/win32/steps.h"

namespace platform {

bool AppendToFile(const std::filesystem::path& path, std::string_view bytes) {
    return win32::AppendToFile(path, bytes, [] { Sleep(1); });
}

namespace win32 {

bool AppendToFile(const std::filesystem::path& path, std::string_view bytes,
                  const std::function<void()>& pause) {
    // The file is shared with readers only while a line is written, so another
    // writer's open fails for that moment; a few short retries keep the line.
    HANDLE file = INVALID_HANDLE_VALUE;
    for (int retry = 0;; ++retry) {
        file = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE || GetLastError() != ERROR_SHARING_VIOLATION ||
            retry == kAppendRetries) {
            break;
        }
        pause();
    }
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    bool written = false;
    DWORD error = ERROR_SUCCESS;
    if (SetFilePointer(file, 0, nullptr, FILE_END) == INVALID_SET_FILE_POINTER &&
        GetLastError() != NO_ERROR) {
        error = GetLastError();
    } else {
        DWORD count = 0;
        if (!WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &count, nullptr)) {
            error = GetLastError();
        } else if (count != bytes.size()) {
            error = ERROR_DISK_FULL;
        } else {
            written = true;
        }
    }
    CloseHandle(file);
    SetLastError(error);
    return written;
}

}  // namespace win32

}  // namespace platform
