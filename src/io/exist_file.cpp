#include "io/exist_file.h"

#include <sys/stat.h>

namespace varnook {

bool ExistFile(const std::string& path)
{
    if (path.empty()) return false;
    // Every failure of stat is a file-system error (missing, no permission, name too long, a
    // file used as a folder): all of them mean "no such file" here, quietly.
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

}  // namespace varnook
