#include "io/file_moves.h"

#include "io/exist_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "io/errors.h"
#include "io/file.h"
#include "io/work_file.h"

namespace varnook {
namespace {

constexpr size_t kCopyBlockBytes = 1 << 20;

void CopyContents(const File& source, File& target)
{
    std::vector<uint8_t> block(kCopyBlockBytes);
    int64_t offset = 0;
    for (;;) {
        const size_t n = source.ReadAt(offset, block);
        if (n == 0) break;
        target.WriteAt(offset, std::span<const uint8_t>(block.data(), n));
        offset += static_cast<int64_t>(n);
    }
}

std::string ContainingFolder(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1);
}

// A rename is durable only once the folder that holds the name is on the disk too.
void SyncFolder(const std::string& folder)
{
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) ThrowFileErrorFromErrno();
    const int rc = ::fsync(fd);
    const int error = errno;
    ::close(fd);
    // A file system that cannot sync a folder (EINVAL) keeps its names by its own rules.
    if (rc != 0 && error != EINVAL) throw FileErrorFromErrno(error);
}

void MoveAcrossFileSystems(const std::string& from, const std::string& to)
{
    const std::string work = ContainingFolder(to) + kMoveWorkName;
    try {
        {
            const File source(from, File::Mode::Read);
            File target = CreateWorkFile(work);
            CopyContents(source, target);
            target.Sync();
            target.Close();
        }
        if (::rename(work.c_str(), to.c_str()) != 0) ThrowFileErrorFromErrno();
    } catch (...) {
        ::unlink(work.c_str());
        throw;
    }
    RemoveFile(from);
}

}  // namespace

void CopyFile(const std::string& from, const std::string& to)
{
    const File source(from, File::Mode::Read);
    File target = CreateWorkFile(to);
    CopyContents(source, target);
}

void RemoveFile(const std::string& path)
{
    if (::unlink(path.c_str()) != 0) ThrowFileErrorFromErrno();
}

void ReplaceByRename(const std::string& from, const std::string& to)
{
    // The target name must only ever reach complete contents, even if the machine goes down
    // right after the rename.
    File(from, File::Mode::Read).Sync();
    if (::rename(from.c_str(), to.c_str()) != 0) {
        if (errno != EXDEV) ThrowFileErrorFromErrno();
        MoveAcrossFileSystems(from, to);
    }
    SyncFolder(ContainingFolder(to));
}

void RemoveIfPresent(const std::string& path)
{
    if (ExistFile(path)) RemoveFile(path);
}

}  // namespace varnook
