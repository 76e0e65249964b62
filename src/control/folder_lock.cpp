#include "control/folder_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <thread>

#include "base/host.h"
#include "base/stop_request.h"

namespace varnook {
namespace {

// Short enough that the second run starts soon after the first lets go, long enough to cost
// nothing while it waits.
constexpr std::chrono::milliseconds kLockPollInterval{20};

// The folder's resolved path, or empty when it does not resolve.
std::string Resolved(const std::string& folder)
{
    char buffer[PATH_MAX];
    if (::realpath(folder.empty() ? "." : folder.c_str(), buffer) == nullptr) return {};
    return buffer;
}

bool TryLock(int fd)
{
    for (;;) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return true;
        if (errno != EINTR) return false;
    }
}

}  // namespace

FolderLocks::~FolderLocks()
{
    // Closing the descriptor releases its lock.
    for (const int fd : descriptors_) ::close(fd);
}

bool FolderLocks::Acquire(const std::vector<std::string>& folders, Host& host, const StopRequest& stop)
{
    std::vector<std::string> paths;
    for (const std::string& folder : folders) {
        std::string path = Resolved(folder);
        if (!path.empty()) paths.push_back(std::move(path));
    }
    std::sort(paths.begin(), paths.end());
    paths.erase(std::unique(paths.begin(), paths.end()), paths.end());

    for (const std::string& path : paths) {
        // Close-on-exec, so that lame never inherits the lock and keeps it past our end.
        const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) continue;
        descriptors_.push_back(fd);
        bool announced = false;
        while (!TryLock(fd)) {
            if (errno != EWOULDBLOCK) break;  // a file system without locks: nothing to wait for
            if (!announced) {
                host.LogLine("Waiting for another Varnook run in " + path + "...");
                announced = true;
            }
            if (stop.Requested()) return false;
            host.Yield();
            std::this_thread::sleep_for(kLockPollInterval);
        }
    }
    return true;
}

}  // namespace varnook
