#include "io/file_moves.h"

#include "io/exist_file.h"

#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "io/errors.h"
#include "io/file.h"

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

// Removes a half-made temporary file when the copy across file systems fails.
class TempFileGuard {
public:
    explicit TempFileGuard(std::string path) : path_(std::move(path)) {}
    ~TempFileGuard()
    {
        if (!path_.empty()) ::unlink(path_.c_str());
    }
    TempFileGuard(const TempFileGuard&) = delete;
    TempFileGuard& operator=(const TempFileGuard&) = delete;
    void Release() { path_.clear(); }

private:
    std::string path_;
};

void MoveAcrossFileSystems(const std::string& from, const std::string& to)
{
    const size_t slash = to.rfind('/');
    std::string pattern = (slash == std::string::npos ? std::string() : to.substr(0, slash + 1)) +
                          ".varnook-move-XXXXXX";
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0) ThrowFileErrorFromErrno();
    ::close(fd);
    TempFileGuard guard(pattern);
    {
        const File source(from, File::Mode::Read);
        File target(pattern, File::Mode::CreateTruncate);
        CopyContents(source, target);
        target.Sync();
    }
    if (::rename(pattern.c_str(), to.c_str()) != 0) ThrowFileErrorFromErrno();
    guard.Release();
    RemoveFile(from);
}

}  // namespace

void CopyFile(const std::string& from, const std::string& to)
{
    const File source(from, File::Mode::Read);
    File target(to, File::Mode::CreateTruncate);
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
    if (::rename(from.c_str(), to.c_str()) == 0) return;
    if (errno != EXDEV) ThrowFileErrorFromErrno();
    MoveAcrossFileSystems(from, to);
}

void RemoveIfPresent(const std::string& path)
{
    if (ExistFile(path)) RemoveFile(path);
}

}  // namespace varnook
