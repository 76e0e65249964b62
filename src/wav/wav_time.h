// The WAV header check: walks the RIFF header, repairs the RIFF size and the data size in place
// when they disagree with the file's real length, fills ctx.wav and logs every fault it meets.
// The analysis, amplify and trim steps never parse a header themselves.
// Depends on io/ and the host only.
#pragma once

#include <string>

namespace varnook {

struct Context;

// The playing time of the sample data in seconds (DataSize / ByteRate), or -1 when the file
// cannot be used. Writes only the two size fields (offset 4 and DataStart - 4) and never
// changes the file's length.
double WavTime(Context& ctx, const std::string& path);

}  // namespace varnook
