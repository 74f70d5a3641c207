#include <cerrno>
#include <cstring>

#include "platform/code_page.h"
#include "platform/system_message.h"

namespace platform {

namespace {

// Win32 error codes that have a close POSIX counterpart; their POSIX message
// stands in for the Windows one.
int ErrnoForWin32Code(unsigned code) {
    switch (code) {
        case 2:
            return ENOENT;
        case 3:
            return ENOENT;
        case 4:
            return EMFILE;
        case 5:
            return EACCES;
        case 6:
            return EBADF;
        case 8:
            return ENOMEM;
        case 14:
            return ENOMEM;
        case 32:
            return EBUSY;
        case 80:
            return EEXIST;
        case 87:
            return EINVAL;
        case 112:
            return ENOSPC;
        case 1460:
            return ETIMEDOUT;
        default:
            return 0;
    }
}

}  // namespace

std::u16string SystemMessageForHResult(std::int32_t hresult) {
    const auto value = static_cast<std::uint32_t>(hresult);
    int errnoValue = 0;
    if ((value & 0xFFFF0000u) == 0x80070000u) {  // FACILITY_WIN32 failure
        errnoValue = ErrnoForWin32Code(value & 0xFFFFu);
    } else if (value != 0 && value < 0x10000u) {  // a bare Win32 code
        errnoValue = ErrnoForWin32Code(value);
    }
    if (errnoValue == 0) {
        return {};
    }
    char buffer[256] = {};
    const char* text = strerror_r(errnoValue, buffer, sizeof buffer);
    // System messages end with a line break, as Windows' own do.
    return Utf8ToUtf16(text) + u"\r\n";
}

}  // namespace platform
