#pragma once

#include <cstdint>
#include <string>

namespace varnook {

// Sets the end of the file at newLength. True on success; never throws, never reports.
bool TruncateFile(const std::string& path, int32_t newLength);

}  // namespace varnook
