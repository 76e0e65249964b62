#include "io/safe_replace.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "io/errors.h"
#include "io/paths.h"

namespace varnook {

void ReplaceThroughTemp(File temp, const std::string& target, const std::function<void(File& temp)>& write)
{
    const std::string tempPath = temp.Path();
    try {
        write(temp);
        temp.Sync();
        temp.Close();
        if (::rename(tempPath.c_str(), target.c_str()) != 0) ThrowFileErrorFromErrno();
    } catch (...) {
        ::unlink(tempPath.c_str());
        throw;
    }
}

void SyncFolderOf(const std::string& path)
{
    const std::string folder = FolderOf(path);
    const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) ThrowFileErrorFromErrno();
    const int rc = ::fsync(fd);
    const int error = errno;
    ::close(fd);
    if (rc != 0 && error != EINVAL) throw FileErrorFromErrno(error);
}

}  // namespace varnook
