// clang-format off
#include <windows.h>
#include <shlobj.h>
// clang-format on

#include <cstdint>
#include <cstdlib>
#include <cwchar>
#include <random>

#include "core/files.h"
#include "core/read_loop.h"

namespace vreader::files {

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

struct Handle {
    HANDLE value;
    explicit Handle(HANDLE h) : value(h) {}
    ~Handle() {
        if (valid()) {
            CloseHandle(value);
        }
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    bool valid() const { return value != INVALID_HANDLE_VALUE; }
};

bool WriteAll(HANDLE file, const std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        DWORD written = 0;
        const DWORD chunk = size > 0x10000000u ? 0x10000000u : static_cast<DWORD>(size);
        if (!WriteFile(file, data, chunk, &written, nullptr) || written == 0) {
            return false;
        }
        data += written;
        size -= written;
    }
    return true;
}

// A regular file on a disk: not a device, a pipe, a folder, or a link (a reparse
// point, opened as itself with FILE_FLAG_OPEN_REPARSE_POINT rather than followed).
bool IsPlainFile(HANDLE file) {
    BY_HANDLE_FILE_INFORMATION info{};
    return GetFileType(file) == FILE_TYPE_DISK && GetFileInformationByHandle(file, &info) &&
           (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) == 0;
}

// A reader of the old file may hold it open for a moment; the replace then
// fails with a sharing error, so it is tried again briefly.
bool IsTransient(DWORD error) {
    return error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION ||
           error == ERROR_LOCK_VIOLATION;
}

}  // namespace

FileLock::FileLock(const fs::path& path, bool wait) {
    HANDLE file =
        CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, kShareAll, nullptr, OPEN_ALWAYS,
                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return;
    }
    handle_ = reinterpret_cast<std::intptr_t>(file);
    if (!IsPlainFile(file)) {
        return;
    }
    OVERLAPPED whole{};
    const DWORD flags = LOCKFILE_EXCLUSIVE_LOCK | (wait ? 0 : LOCKFILE_FAIL_IMMEDIATELY);
    locked_ = LockFileEx(file, flags, 0, 1, 0, &whole) != FALSE;
    busy_ = !locked_ && GetLastError() == ERROR_LOCK_VIOLATION;
}

FileLock::~FileLock() {
    if (handle_ != -1) {
        CloseHandle(reinterpret_cast<HANDLE>(handle_));  // releases the lock
    }
}

std::optional<Bytes> ReadWholeFile(const fs::path& path, std::uintmax_t limit) {
    Handle file(CreateFileW(path.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file.valid() || !IsPlainFile(file.value)) {
        return std::nullopt;
    }
    return ReadToEnd(
        [&](std::uint8_t* buffer, std::size_t room) -> std::optional<std::size_t> {
            DWORD n = 0;
            if (!ReadFile(file.value, buffer, static_cast<DWORD>(room), &n, nullptr)) {
                return std::nullopt;
            }
            return n;
        },
        limit);
}

bool ReplaceThroughTemp(const fs::path& temp, const fs::path& path, const Bytes& data) {
    {
        Handle file(CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file.valid()) {
            return false;
        }
        if (!WriteAll(file.value, data.data(), data.size()) || !FlushFileBuffers(file.value)) {
            CloseHandle(file.value);
            file.value = INVALID_HANDLE_VALUE;
            DeleteFileW(temp.c_str());
            return false;
        }
    }
    for (int attempt = 0; attempt < 50; ++attempt) {
        if (MoveFileExW(temp.c_str(), path.c_str(),
                        MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            return true;
        }
        if (!IsTransient(GetLastError())) {
            break;
        }
        Sleep(2);
    }
    DeleteFileW(temp.c_str());
    return false;
}

MoveResult MoveNoReplace(const fs::path& from, const fs::path& to) {
    // Without MOVEFILE_REPLACE_EXISTING the move fails when the target exists.
    if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH)) {
        return MoveResult::kMoved;
    }
    const DWORD error = GetLastError();
    return error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS ? MoveResult::kTargetExists
                                                                       : MoveResult::kFailed;
}

void AppendChunk(const fs::path& path, const std::string& text, std::uintmax_t limit) {
    {
        // Append-only access: every write lands at the end, so chunks of
        // concurrent callers stay whole.
        Handle file(CreateFileW(path.c_str(), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES, kShareAll,
                                nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        if (!file.valid() || !IsPlainFile(file.value)) {
            return;
        }
        LARGE_INTEGER size{};
        if (!GetFileSizeEx(file.value, &size) ||
            static_cast<std::uintmax_t>(size.QuadPart) <= limit) {
            WriteAll(file.value, reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
            return;
        }
    }
    Handle file(CreateFileW(path.c_str(), GENERIC_WRITE, kShareAll, nullptr, TRUNCATE_EXISTING,
                            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (file.valid() && IsPlainFile(file.value)) {
        WriteAll(file.value, reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
    }
}

const char* const kReaderFolderSuffix = "_";

static bool IsFolder(const fs::path& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// mingw's create_directories reports "File exists" for folders it could make.
bool MakeFolders(const fs::path& folder) {
    fs::path whole = folder;
    whole.make_preferred();
    fs::path partial;
    for (const fs::path& part : whole) {
        partial /= part;
        if (!partial.has_relative_path()) {
            continue;  // the drive and root
        }
        // An existing parent may answer "access denied" rather than "exists".
        if (!CreateDirectoryW(partial.c_str(), nullptr) && !IsFolder(partial)) {
            return false;
        }
    }
    return IsFolder(folder);
}

std::wstring FaultChangeEventName(const fs::path& readerDir) {
    // An event name has no room for a path: the folder's absolute name, case folded,
    // hashed (FNV-1a). A process that spells the folder otherwise only waits for the
    // fallback time-out of the held call.
    std::error_code error;
    fs::path absolute = fs::absolute(readerDir, error).lexically_normal();
    std::uint64_t hash = 14695981039346656037ull;
    for (wchar_t c : absolute.wstring()) {
        hash = (hash ^ static_cast<std::uint64_t>(c >= L'A' && c <= L'Z' ? c + 32 : c)) *
               1099511628211ull;
    }
    wchar_t hex[17];
    swprintf(hex, 17, L"%016llx", static_cast<unsigned long long>(hash));
    return L"Local\\TagquillVirtualReaderFaultChange-" + std::wstring(hex);
}

void AnnounceFaultChange(const fs::path& readerDir) {
    // Manual reset: a pulse wakes every call waiting at this moment and stays set for none.
    const HANDLE event =
        CreateEventW(nullptr, TRUE, FALSE, FaultChangeEventName(readerDir).c_str());
    if (event != nullptr) {
        PulseEvent(event);
        CloseHandle(event);
    }
}

void SleepMilliseconds(long milliseconds) {
    Sleep(static_cast<DWORD>(milliseconds));
}

unsigned long ProcessId() {
    return GetCurrentProcessId();
}

fs::path UserStateBase() {
    const wchar_t* local = _wgetenv(L"LOCALAPPDATA");
    if (local != nullptr && *local != L'\0') {
        return local;
    }
    // The system's own answer, never the temporary folder, which may be shared
    // (C:\Windows\Temp for a service).
    wchar_t folder[MAX_PATH] = {};
    if (SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder) ==
        S_OK) {
        return folder;
    }
    return {};
}

fs::path MakeTempFolder(const std::string& prefix) {
    std::error_code ec;
    const fs::path base = fs::temp_directory_path(ec);
    if (ec) {
        return {};
    }
    std::random_device seed;
    std::mt19937 numbers(seed() ^ GetCurrentProcessId());
    for (int attempt = 0; attempt < 100; ++attempt) {
        const fs::path folder = base / (prefix + std::to_string(numbers() % 1000000000u));
        if (CreateDirectoryW(folder.c_str(), nullptr)) {
            return folder;
        }
        if (GetLastError() != ERROR_ALREADY_EXISTS) {
            return {};
        }
    }
    return {};
}

void SetEnvironment(const char* name, const std::optional<std::string>& value) {
    // The C runtime's copy (getenv) and the process's (child processes).
    _putenv_s(name, value ? value->c_str() : "");
    SetEnvironmentVariableA(name, value ? value->c_str() : nullptr);
}

}  // namespace vreader::files
