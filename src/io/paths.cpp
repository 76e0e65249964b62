#include "io/paths.h"

#include <sys/stat.h>

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <system_error>

namespace varnook {

PathParts SplitPath(const std::string& path)
{
    const size_t slash = path.rfind('/');
    const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    const size_t dot = path.rfind('.');
    PathParts parts;
    parts.Folder = path.substr(0, nameStart);
    if (dot == std::string::npos || dot < nameStart) {
        parts.Base = path.substr(nameStart);
    } else {
        parts.Base = path.substr(nameStart, dot - nameStart);
        parts.Ext = path.substr(dot);
    }
    return parts;
}

std::string FolderOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string FileNameOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string AbsolutePath(const std::string& path)
{
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(path, ec);
    return ec ? path : absolute.lexically_normal().string();
}

std::string ResolvedPath(const std::string& path)
{
    char buffer[PATH_MAX];
    if (::realpath(path.empty() ? "." : path.c_str(), buffer) == nullptr) return {};
    return buffer;
}

namespace {

// The device and inode of an existing file.
std::optional<std::pair<unsigned long, unsigned long>> IdOf(const std::string& path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return std::nullopt;
    return std::pair<unsigned long, unsigned long>{st.st_dev, st.st_ino};
}

}  // namespace

bool SameFile(const std::string& a, const std::string& b)
{
    struct stat sa {};
    struct stat sb {};
    if (::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0) {
        return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
    }
    return a == b;
}

FileSet::FileSet(const std::vector<std::string>& paths)
{
    for (const std::string& path : paths) {
        texts_.insert(path);
        if (const auto id = IdOf(path)) ids_.insert(*id);
    }
}

bool FileSet::Contains(const std::string& path) const
{
    const auto id = IdOf(path);
    return (id && ids_.count(*id) > 0) || texts_.count(path) > 0;
}

}  // namespace varnook
