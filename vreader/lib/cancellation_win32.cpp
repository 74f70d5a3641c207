#include "lib/cancellation.h"

#include <windows.h>

#include "core/files.h"

namespace vreader::lib {

// Windows programs end a hung call with TerminateThread, which needs no cooperation:
// there is nothing to hold off or to allow.
CancellationScope::CancellationScope() : previousState_(0), outerCallerState_(0) {}

CancellationScope::~CancellationScope() = default;

void CancellableSleep(long milliseconds) {
    Sleep(static_cast<DWORD>(milliseconds));
}

void WaitForFaultChange(const std::filesystem::path& readerDir) {
    // Woken by a pulse when the reader's faults change; the time-out is the fallback for
    // a pulse that fell between the last look at the file and this wait. It is long, so
    // that a program ending the thread by force almost surely finds it here, not reading
    // a file. (A thread ended here leaves only the event's handle behind.)
    constexpr DWORD kFallbackMilliseconds = 1000;
    const HANDLE event =
        CreateEventW(nullptr, TRUE, FALSE, files::FaultChangeEventName(readerDir).c_str());
    if (event == nullptr) {
        Sleep(kFallbackMilliseconds);
        return;
    }
    WaitForSingleObject(event, kFallbackMilliseconds);
    CloseHandle(event);
}

}  // namespace vreader::lib
