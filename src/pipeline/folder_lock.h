// Keeps two Varnook processes out of each other's way. Every run uses the fixed names "VRK.tmp",
// "VRKdec.tmp" and "mp3.tmp" beside the output, so a second process working in the same folder
// would overwrite or delete the first one's work files. While a file is processed, its output
// folder is held under an exclusive advisory lock (flock on the folder itself), so a second
// process waits its turn instead. The jobs of one process have work files of their own (see
// WorkFileName) and share the lock of a folder rather than wait for each other. Depends on the
// host and the stop request only.
#pragma once

#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace varnook {

class Host;
class StopRequest;

// Whether the lock of a folder is shared with the other jobs of this process. Without sharing,
// a second holder in this process waits like another process would.
enum class LockSharing { Alone, WithinProcess };

// The folders a run has swept of the work files killed runs left: each once, when the run first
// takes its lock, rather than at every file, so that a file's cost does not grow with the number
// of files beside it. Shared by the jobs of the run.
class SweptFolders {
public:
    // True the first time `folder` is asked about.
    bool FirstTime(const std::string& folder);

private:
    std::mutex mutex_;
    std::set<std::string> folders_;
};

class FolderLocks {
public:
    FolderLocks() = default;
    ~FolderLocks();
    FolderLocks(const FolderLocks&) = delete;
    FolderLocks& operator=(const FolderLocks&) = delete;

    // Locks every folder of `folders` ("" is the current folder; a folder named twice, under
    // any spelling, is locked once). They are taken in the order of their resolved paths, so two
    // processes that need the same two folders can never hold one each and wait forever. While
    // another process holds one, "Waiting for another Varnook run in <folder>..." is logged once
    // and the host keeps yielding. A folder that cannot be opened is left unlocked: it cannot
    // hold work files either. False when a stop was requested while waiting; whatever was
    // already locked stays held until the object goes. Shared within the process, a folder
    // another job of this process holds is joined at once; the lock goes with its last holder.
    // `whenTaken`, when given, is called with each folder (resolved) whose lock is taken rather
    // than joined, before any other job can join it: no other run and no job of this process is
    // at work there then, so leftovers of any job may go.
    bool Acquire(const std::vector<std::string>& folders, Host& host, const StopRequest& stop,
                 LockSharing sharing = LockSharing::Alone,
                 const std::function<void(const std::string&)>& whenTaken = {});

private:
    std::vector<int> descriptors_;
    std::vector<std::string> shared_;  // the folders held through the process's table
};

}  // namespace varnook
