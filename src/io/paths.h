// Taking paths apart and comparing them, the way the pipeline and the encoder name their files.
#pragma once

#include <set>
#include <string>
#include <utility>
#include <vector>

namespace varnook {

// A path taken apart at its last "/" and its last ".": Folder keeps its trailing "/" (empty
// without one), Ext keeps its dot. A dot that does not come after the last "/" (a name without
// one, or a dot only in a folder name) gives an empty Ext, so Base is then the whole name.
struct PathParts {
    std::string Folder;
    std::string Base;
    std::string Ext;
};

PathParts SplitPath(const std::string& path);

// The folder part alone, with its trailing "/", or empty.
std::string FolderOf(const std::string& path);

// The name part alone: what follows the last "/".
std::string FileNameOf(const std::string& path);

// The path made absolute against the working folder, without "." and ".." (taken away as text,
// links left alone); a trailing "/" stays. The path as given when there is no working folder.
std::string AbsolutePath(const std::string& path);

// The path with its links, "." and ".." resolved on the disk (an empty one as the working
// folder), or empty when it does not resolve.
std::string ResolvedPath(const std::string& path);

// True when both paths name the same file: the same device and inode when both exist (which
// also covers case-insensitive file systems, links and "./" detours), otherwise the same text.
bool SameFile(const std::string& a, const std::string& b);

// A set of files asked as SameFile asks: by device and inode for the files that exist when the
// set is made, and by their text. Made once; a question costs one lookup of the path asked
// about, however many files the set holds.
class FileSet {
public:
    explicit FileSet(const std::vector<std::string>& paths);
    bool Contains(const std::string& path) const;

private:
    std::set<std::pair<unsigned long, unsigned long>> ids_;
    std::set<std::string> texts_;
};

}  // namespace varnook
