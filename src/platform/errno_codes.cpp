#include <cerrno>

#include "platform/last_error.h"

namespace platform {

std::uint32_t Win32ErrorFromErrno(int errnoValue) {
    switch (errnoValue) {
        case 0:
            return kErrorSuccess;
        case ENOENT:
            return kErrorFileNotFound;
        case ENOTDIR:
            return 3;  // ERROR_PATH_NOT_FOUND
        case EMFILE:
            return 4;  // ERROR_TOO_MANY_OPEN_FILES
        case EACCES:
        case EPERM:
            return 5;  // ERROR_ACCESS_DENIED
        case EBADF:
            return 6;  // ERROR_INVALID_HANDLE
        case ENOMEM:
            return kErrorNotEnoughMemory;
        case EAGAIN:
            return kErrorNotEnoughMemory;  // thread creation: out of resources
        case ENOSPC:
            return 112;  // ERROR_DISK_FULL
        case EBUSY:
            return 32;  // ERROR_SHARING_VIOLATION
        case EEXIST:
            return 80;  // ERROR_FILE_EXISTS
        case EINVAL:
            return kErrorInvalidParameter;
        case ETIMEDOUT:
            return 1460;  // ERROR_TIMEOUT
        default:
            return 31;  // ERROR_GEN_FAILURE
    }
}

}  // namespace platform
