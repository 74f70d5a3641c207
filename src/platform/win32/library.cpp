#include "platform/library.h"

// windows.h first: the other system headers build on it.
// clang-format off
#include <windows.h>
#include <shlwapi.h>
// clang-format on

#include <vector>

#include "ascii/case_fold.h"
#include "platform/code_page.h"

namespace platform {

namespace {

const wchar_t* Wide(const std::filesystem::path& path) {
    return path.c_str();
}

}  // namespace

ModuleRef ProgramModule() {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) {
            return ModuleRef{};
        }
        if (length < buffer.size()) {
            return ModuleRef{std::filesystem::path(std::wstring(buffer.data(), length))};
        }
        buffer.resize(buffer.size() * 2);
    }
}

std::filesystem::path LibraryPathBeside(const ModuleRef& module, const std::string& fileName) {
    if (module.file.empty()) {
        return fileName;
    }
    // Room for the folder, a backslash and the terminator.
    std::wstring folder = std::filesystem::path(module.file).make_preferred().wstring();
    folder.resize(folder.size() + 2, L'\0');
    if (!PathRemoveFileSpecW(folder.data()) || folder[0] == L'\0') {
        return fileName;
    }
    PathAddBackslashW(folder.data());
    folder.resize(wcslen(folder.c_str()));
    return std::filesystem::path(folder + std::filesystem::path(fileName).wstring());
}

LibraryHandle LoadLibraryFile(const std::filesystem::path& path, std::string* loaderText) {
    // LOAD_WITH_ALTERED_SEARCH_PATH: the library's own dependencies are looked
    // for in its folder first.
    HMODULE module = LoadLibraryExW(Wide(path), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (module == nullptr) {
        const DWORD error = GetLastError();
        if (loaderText != nullptr) {
            wchar_t* text = nullptr;
            FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                               FORMAT_MESSAGE_IGNORE_INSERTS,
                           nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
            std::u16string message =
                text != nullptr ? reinterpret_cast<const char16_t*>(text) : u"cannot be loaded";
            if (text != nullptr) {
                LocalFree(text);
            }
            while (!message.empty() && (message.back() == u'\n' || message.back() == u'\r')) {
                message.pop_back();
            }
            *loaderText = Utf16ToUtf8(message) + " (error " + std::to_string(error) + ")";
        }
        SetLastError(error);
    }
    return module;
}

ProcAddress FindProc(LibraryHandle library, const char* name) {
    if (library == nullptr) {
        return nullptr;
    }
    return reinterpret_cast<ProcAddress>(
        reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name)));
}

bool FreeLibraryFile(LibraryHandle library) {
    if (library == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    return FreeLibrary(static_cast<HMODULE>(library)) != FALSE;
}

std::string SharedLibraryFileName(const std::string& base) {
    return ascii::Upper(base) + ".dll";
}

bool IsLibraryFileLoaded(const std::filesystem::path& path) {
    return GetModuleHandleW(Wide(path)) != nullptr;
}

}  // namespace platform
