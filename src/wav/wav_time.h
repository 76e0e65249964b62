// The WAV header check: walks the RIFF header, repairs the RIFF size and the data size in place
// when they disagree with the file's real length, fills the WAV info and logs every fault it meets.
// The analysis, amplify and trim steps never parse a header themselves.
// Depends on io/, the host and the WAV info record only.
#pragma once

#include <functional>
#include <string>

namespace varnook {

class Host;
struct WavInfo;

// The playing time of the sample data in seconds (DataSize / ByteRate), or -1 when the file
// cannot be used. Writes only the two size fields (offset 4 and DataStart - 4) and never
// changes the file's length. Besides the header faults, a BlockAlign or ByteRate of 0, a chunk
// chain that leads past the end of the file, no "data" chunk and a file longer than a signed
// 32-bit size can describe are refused with a line saying so. A file that may only be read is
// examined all the same; a repair it needs fails as a file error ("70: Permission denied"),
// unless `copyForRepair` is given: then, at the first repair, it makes a copy of the file and
// names it, and the repairs go into the copy.
double WavTime(Host& host, WavInfo& wav, const std::string& path,
               const std::function<std::string()>& copyForRepair = {});

}  // namespace varnook
