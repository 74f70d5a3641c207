#include "platform/library.h"

#include <dlfcn.h>
#include <unistd.h>

#include <system_error>

#include "platform/last_error.h"

namespace platform {

ModuleRef ProgramModule() {
    std::error_code error;
    auto self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) {
        return ModuleRef{};
    }
    return ModuleRef{self};
}

std::filesystem::path LibraryPathBeside(const ModuleRef& module, const std::string& fileName) {
    if (module.file.empty() || !module.file.has_parent_path()) {
        return fileName;
    }
    return module.file.parent_path() / fileName;
}

LibraryHandle LoadLibraryFile(const std::filesystem::path& path, std::string* loaderText) {
    // A bare name goes through the loader's own search, like the Windows search
    // order does for a bare DLL name.
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* text = dlerror();
        if (loaderText != nullptr) {
            *loaderText = text != nullptr ? text : "cannot be loaded";
        }
        SetLastErrorValue(kErrorModNotFound);
    }
    return handle;
}

ProcAddress FindProc(LibraryHandle library, const char* name) {
    if (library == nullptr) {
        return nullptr;
    }
    void* symbol = dlsym(library, name);
    // Function and object pointers have the same size on every POSIX target.
    return reinterpret_cast<ProcAddress>(symbol);
}

bool FreeLibraryFile(LibraryHandle library) {
    if (library == nullptr || dlclose(library) != 0) {
        SetLastErrorValue(6);  // ERROR_INVALID_HANDLE
        return false;
    }
    return true;
}

std::string SharedLibraryFileName(const std::string& base) {
    return "lib" + base + ".so";
}

}  // namespace platform

namespace platform {

bool IsLibraryFileLoaded(const std::filesystem::path& path) {
    void* handle = dlopen(path.c_str(), RTLD_LAZY | RTLD_NOLOAD);
    if (handle == nullptr) {
        return false;
    }
    dlclose(handle);
    return true;
}

}  // namespace platform
