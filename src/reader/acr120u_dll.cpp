#include "reader/acr120u_dll.h"

std::string CACR120UDll::FileName() {
    return platform::SharedLibraryFileName("acr120u");
}
