#include <dlfcn.h>

#include "pcsc/pcsc_library.h"

namespace pcsc {

void* OpenPcscLibrary() {
    return dlopen("libpcsclite.so.1", RTLD_NOW | RTLD_LOCAL);
}

// pcsc-lite has one variant of each function, under the plain name.
void* FindPcscFunction(void* library, const char* name, NameVariants) {
    return dlsym(library, name);
}

}  // namespace pcsc
