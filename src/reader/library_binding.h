#pragma once
// The loader both reader library bindings share: a file beside a module, and a
// table of typed entry points bound by name from it, in the table's order.
// When a load fails, the binding keeps a line that names the file and what went
// wrong (the system loader's text, or every function the file lacks), for the
// program's diagnostic on stderr; the user's error box does not change.

#include <string>
#include <tuple>
#include <type_traits>

#include "platform/last_error.h"
#include "platform/library.h"

namespace reader_binding {

// One exported function: its exact name and, once bound, its address.
template <typename Function>
struct EntryPoint {
    static_assert(std::is_pointer_v<Function>);
    const char* name;
    Function function = nullptr;
};

// The line of the most recent failed load in this process; empty when none failed.
std::string LastLoadFailure();
void RecordLoadFailure(const std::string& line);

// `Table` holds EntryPoint members and lists them, in binding order, in a
// member function All() that returns a std::tie of them.
template <typename Table>
class CLibraryBinding {
public:
    explicit CLibraryBinding(std::string fileName) : fileName_(std::move(fileName)) {}
    ~CLibraryBinding() { Unload(); }
    CLibraryBinding(const CLibraryBinding&) = delete;
    CLibraryBinding& operator=(const CLibraryBinding&) = delete;

    // True only when the file is loaded and every entry point was found. A
    // missing function leaves the file loaded (last error 127) until Unload.
    bool Load(const platform::ModuleRef& module) {
        Unload();
        diagnostic_.clear();
        const auto path = platform::LibraryPathBeside(module, fileName_);
        std::string loaderText;
        module_ = platform::LoadLibraryFile(path, &loaderText);
        if (module_ == nullptr) {
            Fail(path.string() + ": " + loaderText);
            return false;
        }
        std::string missing;
        std::apply([&](auto&... entry) { (Bind(entry, missing), ...); }, entries_.All());
        if (missing.empty()) {
            return true;
        }
        Fail(path.string() + ": missing" + missing);
        platform::SetLastErrorValue(platform::kErrorProcNotFound);
        return false;
    }

    // Frees the file; when the system refuses, nothing changes.
    void Unload() {
        if (module_ == nullptr || !platform::FreeLibraryFile(module_)) {
            return;
        }
        module_ = nullptr;
        std::apply([](auto&... entry) { ((entry.function = nullptr), ...); }, entries_.All());
    }

    bool IsLoaded() const { return module_ != nullptr; }
    const std::string& FileName() const { return fileName_; }
    // Why the last Load failed; empty after a load that worked.
    const std::string& LoadDiagnostic() const { return diagnostic_; }

    template <typename Function>
    bool IsBound(EntryPoint<Function> Table::*entry) const {
        return (entries_.*entry).function != nullptr;
    }

    // Puts `standIn` in place of one function, until the next Load or Unload:
    // tests make a library answer what they need.
    template <typename Function>
    void Replace(EntryPoint<Function> Table::*entry, std::type_identity_t<Function> standIn) {
        (entries_.*entry).function = standIn;
    }

protected:
    Table entries_;

private:
    template <typename Function>
    void Bind(EntryPoint<Function>& entry, std::string& missing) {
        const platform::ProcAddress address = platform::FindProc(module_, entry.name);
        entry.function = reinterpret_cast<Function>(address);
        if (address == nullptr) {
            missing += ' ';
            missing += entry.name;
        }
    }

    void Fail(std::string line) {
        diagnostic_ = std::move(line);
        RecordLoadFailure(diagnostic_);
    }

    std::string fileName_;
    std::string diagnostic_;
    platform::LibraryHandle module_ = nullptr;
};

}  // namespace reader_binding
