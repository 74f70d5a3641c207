#pragma once
// Shared steps of the two reader library bindings.

#include <type_traits>

#include "platform/library.h"

namespace reader_binding {

// Looks `name` up and stores it in `slot`; false when the function is missing.
template <typename Function>
bool Bind(platform::LibraryHandle module, Function& slot, const char* name) {
    static_assert(std::is_pointer_v<Function>);
    platform::ProcAddress address = platform::FindProc(module, name);
    slot = reinterpret_cast<Function>(address);
    return address != nullptr;
}

}  // namespace reader_binding
