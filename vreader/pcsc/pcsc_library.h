#pragma once
// The OS half of the PC/SC table (pcsc_api_posix.cpp, pcsc_api_win32.cpp): the
// system's PC/SC library and the functions in it. pcsc_api.cpp names the functions.

namespace pcsc {

// Whether Windows exports a function in an 8-bit ("...A") and a UTF-16 variant, as it
// does those that take or give reader names. The 8-bit one is taken: reader names stay
// plain char strings on both systems.
enum class NameVariants { kOne, kEightBitAndWide };

// Loaded once and never closed: other threads may still be inside one of its
// functions when the process ends. Null when the system has none.
void* OpenPcscLibrary();
// Null when the library lacks the function.
void* FindPcscFunction(void* library, const char* name, NameVariants variants);

}  // namespace pcsc
