#include "lib/cancellation.h"

#include <windows.h>

namespace vreader::lib {

// Windows programs end a hung call with TerminateThread, which needs no cooperation:
// there is nothing to hold off or to allow.
CancellationScope::CancellationScope() : previousState_(0), outerCallerState_(0) {}

CancellationScope::~CancellationScope() = default;

void CancellableSleep(long milliseconds) {
    Sleep(static_cast<DWORD>(milliseconds));
}

}  // namespace vreader::lib
