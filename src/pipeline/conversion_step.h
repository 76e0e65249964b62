// The conversion of a FLAC, Ogg, Opus, AIFF or wide WAV source as the pipeline runs it: the
// refusal with its reason, the step's log lines, and no half-written work WAV left behind.
#pragma once

#include <string>

#include "base/step_end.h"

namespace varnook {

struct Context;

// Converts ctx.request.SourcePath to the work WAV `workPath` (16-bit; 24-bit at the source's rate
// for a deep source under ctx.request.KeepDepth), logging "Converting..." (also as caption), a
// header that counts fewer samples than the stream holds, and "Converted OK". Finished when the work WAV is ready. Failed, with the line that ends the file in
// `failure`: "Not a valid file format!" (with the reason when libsndfile read the file but its
// layout is refused; nothing is announced then) or "Could not convert" (after the reason or file
// error, with the partial work WAV removed). Stopped when a stop was asked for through ctx.stop
// by the end of the conversion, with the work WAV removed, nothing more logged and "Could not
// convert" in `failure`.
StepEnd ConvertSource(Context& ctx, const std::string& workPath, std::string& failure);

}  // namespace varnook
