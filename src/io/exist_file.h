#pragma once

#include <string>

namespace varnook {

// True when `path` names an existing folder or file (a folder may end with "/"). False for the
// empty text and for any path the system cannot look up; never reports anything.
bool ExistFile(const std::string& path);

}  // namespace varnook
