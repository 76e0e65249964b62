// Trim: cuts the silence at the start and end of ctx.request.WorkPath in place, fades in and
// out, writes lead-in and lead-out silence and truncates the file; updates ctx.wav.
#pragma once

#include <string>

#include "base/step_end.h"
#include "base/trim_picture.h"

namespace varnook {

struct Context;

// What one trim pass found, for the run report and the file's result.
struct TrimFindings {
    // As last handed to the host: Complete once the step has ended unstopped, with the marks
    // it found (none when it left the file as it was) and the /plot path.
    TrimPicture Picture;
    // The step's own words for a failure it met, as its log says them: "No filter for this
    // frequency", or "Could not set new EOF" when it ran on to its end without the cut.
    std::string Failure;
};

// Finds where the audible part begins and ends by measuring 50 ms windows with the analysis
// (the level of a window is its recommended gain plus NewLevel and ctx.AlbumShift; it is
// audible for a threshold when below it), against the four TrimLevel thresholds, each search covering about half the
// data. The material before the lead-in is hidden in a "tRsH" chunk rather than moved; chunks
// after the samples move behind the lead-out; the file is then cut to length. Lead[0] and
// Lead[1] are seconds of digital silence (a negative value counts as none).
//
// Finishes when the step ran to its end, including when a window could not be measured ("Fail")
// or the cut failed ("Could not set new EOF"), and when it left the file as it was: a recording
// with no audible part (the end search reached the fade-in's end) or shorter than one window.
// Fails, with the file as it was, for a sample rate without a filter ("No filter for this
// frequency"), a WAV info that does not fit the file, or a lead-out that would take the file
// past the 32-bit sizes; and after a file error, logged as "<number>: <text>", with what was
// written so far left in the file. A stop asked for through ctx.stop ends the step within one
// window's measurement, logging nothing, with the file as far as it got. ctx.wav must describe
// WorkPath; afterwards it holds the new DataStart, DataSize and RiffSize. Selects the filter for
// the file's rate into ctx.filter. `findings`, when given, gets what the pass found.
StepEnd Trimmed(Context& ctx, TrimFindings* findings = nullptr);

}  // namespace varnook
