#include "editing/truncate.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

namespace varnook {

bool TruncateFile(const std::string& path, int32_t newLength)
{
    if (newLength < 0 || path.empty()) return false;

    int fd = -1;
    do {
        fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return false;

    // Another writer holding the file's lock is still at work on it: cutting the file under it
    // would lose its writes, so we refuse rather than wait.
    bool done = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    if (done) {
        int rc = -1;
        do {
            rc = ::ftruncate(fd, static_cast<off_t>(newLength));
        } while (rc != 0 && errno == EINTR);
        done = rc == 0;
    }
    // Closing the descriptor releases the lock too.
    if (::close(fd) != 0 && errno != EINTR) done = false;
    return done;
}

}  // namespace varnook
