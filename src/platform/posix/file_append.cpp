#include "platform/file_append.h"

#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

#include <cerrno>

#include "platform/last_error.h"

namespace platform {

namespace {

// open, write and close are cancellation points; a monitor thread ended by
// force in the middle of a line would otherwise leak the descriptor.
class CancellationBlock {
public:
    CancellationBlock() { pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, &previous_); }
    ~CancellationBlock() { pthread_setcancelstate(previous_, nullptr); }
    CancellationBlock(const CancellationBlock&) = delete;
    CancellationBlock& operator=(const CancellationBlock&) = delete;

private:
    int previous_ = PTHREAD_CANCEL_ENABLE;
};

}  // namespace

bool AppendToFile(const std::filesystem::path& path, std::string_view bytes) {
    CancellationBlock block;
    // O_APPEND moves to the end and writes as one step, so lines of two
    // processes tracing into one file never overwrite each other.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
    if (fd < 0) {
        SetLastErrorValue(Win32ErrorFromErrno(errno));
        return false;
    }
    bool written = false;
    int error = 0;
    const ssize_t count = ::write(fd, bytes.data(), bytes.size());
    if (count < 0) {
        error = errno;
    } else if (static_cast<std::size_t>(count) != bytes.size()) {
        error = ENOSPC;
    } else {
        written = true;
    }
    ::close(fd);
    SetLastErrorValue(written ? kErrorSuccess : Win32ErrorFromErrno(error));
    return written;
}

}  // namespace platform
