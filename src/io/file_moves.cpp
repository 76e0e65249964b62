#include "io/file_moves.h"

#include "io/exist_file.h"

#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <vector>

#include "io/errors.h"
#include "io/file.h"
#include "io/safe_replace.h"
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
    if (::rename(from.c_str(), to.c_str()) != 0) ThrowFileErrorFromErrno();
    SyncFolderOf(to);
}

void RemoveIfPresent(const std::string& path)
{
    if (ExistFile(path)) RemoveFile(path);
}

}  // namespace varnook
