// Trim: cuts the silence at the start and end of ctx.request.WorkPath in place, fades in and
// out, writes lead-in and lead-out silence and truncates the file; updates ctx.wav.
#pragma once

namespace varnook {

struct Context;

// Finds where the audible part begins and ends by measuring 50 ms windows with the analysis
// (the level of a window is its recommended gain plus NewLevel; it is audible for a threshold
// when below it), against the four TrimLevel thresholds, each search covering about half the
// data. The material before the lead-in is hidden in a "tRsH" chunk rather than moved; chunks
// after the samples move behind the lead-out; the file is then cut to length. Lead[0] and
// Lead[1] are seconds of digital silence (a negative value counts as none).
//
// Returns true when the step ran to its end, including when a window could not be measured
// ("Fail") or the cut failed ("Could not set new EOF"), and when it left the file as it was: a
// recording with no audible part (the end search reached the fade-in's end) or shorter than one
// window. Returns false, with the file as it was, for a sample rate without a filter ("No filter
// for this frequency"), a WAV info that does not fit the file, or a lead-out that would take the
// file past the 32-bit sizes; and after a file error, logged as "<number>: <text>", with what was
// written so far left in the file. ctx.wav must describe WorkPath; afterwards it holds the new
// DataStart, DataSize and RiffSize. Selects the filter for the file's rate into ctx.filter.
bool Trimmed(Context& ctx);

}  // namespace varnook
