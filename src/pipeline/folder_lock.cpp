#include "pipeline/folder_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <map>
#include <mutex>
#include <thread>

#include "base/host.h"
#include "base/stop_request.h"
#include "io/paths.h"

namespace varnook {
namespace {

// Short enough that the second run starts soon after the first lets go, long enough to cost
// nothing while it waits.
constexpr std::chrono::milliseconds kLockPollInterval{20};

bool TryLock(int fd)
{
    for (;;) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return true;
        if (errno != EINTR) return false;
    }
}

// The folders this process holds for its jobs, each with its one locked descriptor and the
// number of jobs in it. A flock belongs to an open file, not to a thread, so which folders the
// process holds is a fact about the whole process: one table for it is the honest shape.
struct SharedLock {
    int fd = -1;
    int holders = 0;
};

std::mutex& SharedLocksMutex()
{
    static std::mutex mutex;
    return mutex;
}

std::map<std::string, SharedLock>& SharedLocks()
{
    static std::map<std::string, SharedLock> table;
    return table;
}

// Unlocked before it is closed: a child that another job is starting holds a copy of the
// descriptor until its exec closes it, and the lock would live on in that copy, so that this
// process, taking the folder again at once, would wait for itself.
void Unlock(int fd)
{
    ::flock(fd, LOCK_UN);
    ::close(fd);
}

void ReleaseShared(const std::string& path)
{
    const std::lock_guard<std::mutex> guard(SharedLocksMutex());
    const auto it = SharedLocks().find(path);
    if (it == SharedLocks().end() || --it->second.holders > 0) return;
    Unlock(it->second.fd);
    SharedLocks().erase(it);
}

}  // namespace

bool SweptFolders::FirstTime(const std::string& folder)
{
    const std::lock_guard<std::mutex> guard(mutex_);
    return folders_.insert(folder).second;
}

FolderLocks::~FolderLocks()
{
    for (const int fd : descriptors_) Unlock(fd);
    for (const std::string& path : shared_) ReleaseShared(path);
}

bool FolderLocks::Acquire(const std::vector<std::string>& folders, Host& host, const StopRequest& stop,
                          LockSharing sharing, const std::function<void(const std::string&)>& whenTaken)
{
    const bool shared = sharing == LockSharing::WithinProcess;
    std::vector<std::string> paths;
    for (const std::string& folder : folders) {
        std::string path = ResolvedPath(folder);
        if (!path.empty()) paths.push_back(std::move(path));
    }
    std::sort(paths.begin(), paths.end());
    paths.erase(std::unique(paths.begin(), paths.end()), paths.end());

    for (const std::string& path : paths) {
        // Close-on-exec, so that lame never inherits the lock and keeps it past our end.
        const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) continue;
        bool announced = false;
        for (;;) {
            if (shared) {
                // Asked under the table's lock, so a job never takes its sibling's flock for
                // another run's.
                const std::lock_guard<std::mutex> guard(SharedLocksMutex());
                auto& table = SharedLocks();
                const auto it = table.find(path);
                if (it != table.end()) {
                    ++it->second.holders;
                    ::close(fd);
                    break;
                }
                // A file system without locks: nothing to wait for.
                if (TryLock(fd) || errno != EWOULDBLOCK) {
                    if (whenTaken) whenTaken(path);
                    table[path] = {fd, 1};
                    break;
                }
            } else if (TryLock(fd) || errno != EWOULDBLOCK) {
                if (whenTaken) whenTaken(path);
                break;
            }
            if (!announced) {
                host.LogLine("Waiting for another Varnook run in " + path + "...");
                announced = true;
            }
            if (stop.Requested()) {
                ::close(fd);
                return false;
            }
            host.Yield();
            std::this_thread::sleep_for(kLockPollInterval);
        }
        if (shared) {
            shared_.push_back(path);
        } else {
            descriptors_.push_back(fd);
        }
    }
    return true;
}

}  // namespace varnook
