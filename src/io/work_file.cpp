#include "io/work_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "io/errors.h"

namespace varnook {

void RemoveWorkFile(const std::string& path)
{
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        if (errno == ENOENT) return;
        ThrowFileErrorFromErrno();
    }
    // Only a file or a link is ours to remove: a folder or a device at the name is refused
    // (a run as root could otherwise delete a device node it was pointed at).
    if (!S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode))
        throw FileError(file_errors::kPathFileAccess, FileErrorText(file_errors::kPathFileAccess));
    if (::unlink(path.c_str()) != 0 && errno != ENOENT) ThrowFileErrorFromErrno();
}

File CreateWorkFile(const std::string& path)
{
    RemoveWorkFile(path);
    return File(path, File::Mode::CreateNew);
}

}  // namespace varnook
