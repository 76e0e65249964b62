// Taking paths apart and comparing them, the way the pipeline and the encoder name their files.
#pragma once

#include <string>

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

// True when both paths name the same file: the same device and inode when both exist (which
// also covers case-insensitive file systems, links and "./" detours), otherwise the same text.
bool SameFile(const std::string& a, const std::string& b);

}  // namespace varnook
