#pragma once
// The PC/SC functions the library uses, as one table filled at run time: from
// libpcsclite.so.1 on POSIX (so the library loads where pcsc-lite is absent) and
// from winscard.dll on Windows. Nothing else reaches the PC/SC service.

#include <cstddef>

#if defined(_WIN32)
#include <windows.h>
#include <winscard.h>
#define TAGQUILL_PCSC_CALL WINAPI
namespace pcsc {
using ReaderState = SCARD_READERSTATEA;
}
#else
#include <PCSC/winscard.h>
#define TAGQUILL_PCSC_CALL
namespace pcsc {
using ReaderState = SCARD_READERSTATE;
}
#endif

namespace pcsc {

// Room for the longest ATR the standard allows.
inline constexpr std::size_t kMaxAtrSize = 33;

struct Api {
    LONG(TAGQUILL_PCSC_CALL* establishContext)(DWORD, LPCVOID, LPCVOID, LPSCARDCONTEXT);
    LONG(TAGQUILL_PCSC_CALL* releaseContext)(SCARDCONTEXT);
    LONG(TAGQUILL_PCSC_CALL* listReaders)(SCARDCONTEXT, LPCSTR, LPSTR, LPDWORD);
    LONG(TAGQUILL_PCSC_CALL* getStatusChange)(SCARDCONTEXT, DWORD, ReaderState*, DWORD);
    LONG(TAGQUILL_PCSC_CALL* connect)(SCARDCONTEXT, LPCSTR, DWORD, DWORD, LPSCARDHANDLE, LPDWORD);
    LONG(TAGQUILL_PCSC_CALL* disconnect)(SCARDHANDLE, DWORD);
    LONG(TAGQUILL_PCSC_CALL* reconnect)(SCARDHANDLE, DWORD, DWORD, DWORD, LPDWORD);
    LONG(TAGQUILL_PCSC_CALL* status)
    (SCARDHANDLE, LPSTR, LPDWORD, LPDWORD, LPDWORD, LPBYTE, LPDWORD);
    LONG(TAGQUILL_PCSC_CALL* transmit)
    (SCARDHANDLE, const SCARD_IO_REQUEST*, LPCBYTE, DWORD, SCARD_IO_REQUEST*, LPBYTE, LPDWORD);
    LONG(TAGQUILL_PCSC_CALL* beginTransaction)(SCARDHANDLE);
    LONG(TAGQUILL_PCSC_CALL* endTransaction)(SCARDHANDLE, DWORD);
};

// The table, loaded on first use and kept for the life of the process; null when
// the PC/SC library or one of its functions is missing.
const Api* LoadApi();

}  // namespace pcsc
