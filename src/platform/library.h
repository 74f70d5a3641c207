#pragma once
// Run-time loading of shared libraries. The program names a module (normally its
// own executable) and asks for a library file that lies in the same folder.

#include <filesystem>
#include <string>

namespace platform {

// A loaded-module identity whose folder is where libraries are looked for.
// On POSIX it is the module's file path; an empty path means the file name of
// the module cannot be had, and loading then falls back to the bare file name.
struct ModuleRef {
    std::filesystem::path file;
};

// The running program's own executable.
ModuleRef ProgramModule();

using LibraryHandle = void*;
using ProcAddress = void (*)();

// Full path of `fileName` in the folder of `module`; the bare file name when
// that folder cannot be had.
std::filesystem::path LibraryPathBeside(const ModuleRef& module, const std::string& fileName);

// Loads the library; nullptr on failure, with the last-error value set and,
// when `loaderText` is given, the system loader's own words for the failure.
LibraryHandle LoadLibraryFile(const std::filesystem::path& path, std::string* loaderText = nullptr);
// Looks a function up by its exact name; nullptr when it is missing.
ProcAddress FindProc(LibraryHandle library, const char* name);
// Frees the library; false (last error set) when the system refuses.
bool FreeLibraryFile(LibraryHandle library);

// The platform's file name for a reader library: "ACR120.dll" on Windows,
// "libacr120.so" elsewhere; `base` is "acr120" or "acr120u".
std::string SharedLibraryFileName(const std::string& base);

}  // namespace platform

namespace platform {
// True when the library file is loaded in this process (tests use it to see
// that a binding really freed what it had loaded).
bool IsLibraryFileLoaded(const std::filesystem::path& path);
}  // namespace platform
