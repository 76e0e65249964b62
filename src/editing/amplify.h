// Sample editing: amplify, trim and file truncation. The steps work on real WAV files on disk,
// from the WAV info record the header check filled; they never parse a header themselves.
// Depends on io/, the host, the Run settings and request, and (trim) the analysis; never on Qt
// or the pipeline.
#pragma once

namespace varnook {

struct Context;

// Writes ctx.request.WorkPath amplified by `gain` dB to ctx.request.TempPath: the same length,
// header and trailer bytes, and the same number of samples at the same offsets. A gain of 0
// copies the file byte for byte. A gain up to 0 dB multiplies every sample; above 0 dB each
// half-wave of each channel is scaled as one piece, never past a peak of 31744, so nothing
// clips. Refuses (false, nothing written or logged) a file of fewer than 32768 samples. A file
// error is logged as "<number>: <text>" and gives false; ctx.wav must describe WorkPath.
bool Leveled(Context& ctx, double gain);

}  // namespace varnook
