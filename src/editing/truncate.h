// Sets a closed file's length by path, for the trim step's final cut.
#pragma once

#include <cstdint>
#include <string>

namespace varnook {

// Sets the end of the file at newLength (shorter or longer). True on success; false when the
// file cannot be opened for writing, another writer holds its lock, or the cut fails. Never
// throws, never reports.
bool TruncateFile(const std::string& path, int32_t newLength);

}  // namespace varnook
