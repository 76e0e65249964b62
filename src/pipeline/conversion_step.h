// The conversion of a FLAC, Ogg, Opus, AIFF or wide WAV source as the pipeline runs it: the
// refusal with its reason, the step's log lines, and no half-written work WAV left behind.
#pragma once

#include <optional>
#include <string>

namespace varnook {

struct Context;

// Converts ctx.request.SourcePath to the 16-bit work WAV `workPath`, logging "Converting..."
// (also as caption), a header that counts fewer samples than the stream holds, and "Converted
// OK". Empty when the work WAV is ready; otherwise the line
// that ends the file: "Not a valid file format!" (with the reason when libsndfile read the file
// but its layout is refused; nothing is announced then) or "Could not convert" (after the
// reason or file error, with the partial work WAV removed).
std::optional<std::string> ConvertSource(Context& ctx, const std::string& workPath);

}  // namespace varnook
