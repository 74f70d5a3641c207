#include <windows.h>

#include <cstdio>

#include "pcsc/pcsc_library.h"

namespace pcsc {

void* OpenPcscLibrary() {
    return LoadLibraryW(L"winscard.dll");
}

void* FindPcscFunction(void* library, const char* name, NameVariants variants) {
    char eightBit[64];
    if (variants == NameVariants::kEightBitAndWide) {
        std::snprintf(eightBit, sizeof eightBit, "%sA", name);
        name = eightBit;
    }
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

}  // namespace pcsc
