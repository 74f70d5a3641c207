#include <windows.h>

// The library's static C++ runtime takes a thread-local slot each time the library is
// loaded and called, and never gives it back: after about a thousand rounds of load,
// call and unload (a program that connects again and again, a test suite) the process
// runs out of slots and aborts. So once loaded, the library stays in memory; later
// FreeLibrary calls only count down.
extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID /*reserved*/) {
    if (reason == DLL_PROCESS_ATTACH) {
        HMODULE pinned = nullptr;
        GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                           reinterpret_cast<LPCWSTR>(module), &pinned);
    }
    return TRUE;
}
